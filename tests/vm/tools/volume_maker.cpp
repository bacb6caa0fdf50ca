// orvane-vm-volume DEVICE ALGORITHM PRF PLAIN: a private volume on DEVICE
// made by the crypto layer with a cipher and key derivation of our choosing
// (the product always takes AES), its data area the bytes of file PLAIN,
// encrypted. The password is standard input's first line. The guest gives
// such volumes to cryptsetup, so every cipher we can write meets an outside
// reader.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "crypto/gcrypt_setup.h"
#include "crypto/volume_keys.h"

namespace {

int fail(const std::string& why)
{
    std::cerr << "orvane-vm-volume: " << why << "\n";
    return 1;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, off_t at)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, at);
        if (n <= 0)
            return false;
        data += n;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    namespace c = kx::crypto;
    if (argc != 5)
        return fail("usage: orvane-vm-volume DEVICE ALGORITHM PRF PLAIN (password on standard input)");
    std::string password;
    std::getline(std::cin, password);
    const int device = ::open(argv[1], O_RDWR | O_CLOEXEC);
    const int plain = ::open(argv[4], O_RDONLY | O_CLOEXEC);
    if (device < 0 || plain < 0)
        return fail("cannot open the device or the plain file");
    const off_t size = ::lseek(device, 0, SEEK_END);
    const off_t plainSize = ::lseek(plain, 0, SEEK_END);
    if (size < 0 || plainSize < 0 || plainSize % c::dataUnitSize != 0 ||
        plainSize > size - static_cast<off_t>(c::headerSize))
        return fail("the plain file must be whole units and fit after the header");

    c::ensureGcrypt();
    c::CreateOptions options;
    options.algorithm = std::atoi(argv[2]);
    options.prf = static_cast<c::Prf>(std::atoi(argv[3]));
    options.volumeSize = static_cast<std::uint64_t>(size) / c::dataUnitSize * c::dataUnitSize;
    c::CreateResult made = c::createHeader(c::passwordBytes(password), options, c::gcryptRandom(false));
    if (made.error != c::HeaderError::None)
        return fail(std::string("no header: ") + c::headerErrorText(made.error));
    if (!writeAll(device, made.header.data(), made.header.size(), 0))
        return fail("writing the header failed");

    std::vector<std::uint8_t> chunk(1 << 20);
    for (off_t at = 0; at < plainSize;) {
        const std::size_t n = static_cast<std::size_t>(std::min<off_t>(chunk.size(), plainSize - at));
        if (::pread(plain, chunk.data(), n, at) != static_cast<ssize_t>(n))
            return fail("reading the plain file failed");
        if (!made.volume->cipher->encryptData(static_cast<std::uint64_t>(at) / c::dataUnitSize, std::span(chunk).first(n)) ||
            !writeAll(device, chunk.data(), n, at + static_cast<off_t>(c::headerSize)))
            return fail("encrypting or writing the data failed");
        at += static_cast<off_t>(n);
    }
    if (::fsync(device) != 0)
        return fail("flushing the device failed");
    std::string ciphers;
    for (c::Cipher cipher : made.volume->algorithm->ciphers())
        ciphers += (ciphers.empty() ? "" : "-") + std::string(c::cipherName(cipher));
    std::printf("%s %s %s\n", ciphers.c_str(), c::modeName(made.volume->mode), c::prfName(made.volume->prf));
    return 0;
}
