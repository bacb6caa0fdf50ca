// Host-side helpers for the core tests: bytes in and out of files, and
// firmware image files whose checksum coreutils' cksum computes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_machine.h"

#include "app/core/log/ComnLog.h"

namespace core_test {

namespace fs = std::filesystem;

inline std::string RandomBytes(size_t count, unsigned seed)
{
    std::mt19937 engine(seed);
    std::string bytes(count, '\0');
    for (auto& c : bytes)
        c = static_cast<char>(engine() & 0xFF);
    return bytes;
}

inline void WriteHostFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline std::string ReadHostFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string ReadHostRange(const fs::path& path, std::uint64_t offset, size_t count)
{
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

inline void WriteHostRange(const fs::path& path, std::uint64_t offset, const std::string& bytes)
{
    std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(static_cast<std::streamoff>(offset));
    io.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(io.good()) << path;
}

inline std::u16string Wide(const fs::path& path)
{
    const std::string text = path.string();
    return std::u16string(text.begin(), text.end());  // test paths are ASCII
}

// coreutils cksum of `count` bytes of a file starting at byte `offset`.
inline std::uint32_t CoreutilsCksum(const fs::path& file, std::uint64_t offset, std::uint64_t count)
{
    std::string out;
    const std::string cmd = "tail -c +" + std::to_string(offset + 1) + " '" + file.string() + "' | head -c " +
                            std::to_string(count) + " | cksum";
    EXPECT_EQ(testing_support::runCommand(cmd, &out), 0) << out;
    return static_cast<std::uint32_t>(std::stoul(out));
}

// A firmware image: "CRCSUM=" line, further header lines, payload.
struct FirmwareImage {
    std::string boot;    // BSIZE bytes ahead of the kernel image
    std::string kernel;
    std::string rootfs;
    std::string trailer;  // after the root file system image, not checked
    std::string lineEnd = "\n";
    bool skipLine = true;
    std::string extraLines;  // more header lines, each with its line end

    std::string HeaderAfterFirstLine() const
    {
        std::string lines;
        if (skipLine)
            lines += "SKIP=" + std::to_string(4 + CountLines(extraLines)) + lineEnd;
        lines += "BSIZE=" + std::to_string(boot.size()) + lineEnd;
        lines += "KSIZE=" + std::to_string(kernel.size()) + lineEnd;
        lines += "RSIZE=" + std::to_string(rootfs.size()) + lineEnd;
        return lines + extraLines;
    }

    // Writes the image with the CRCSUM that cksum gives for its checksum span.
    void Write(const fs::path& path) const
    {
        const std::string rest = HeaderAfterFirstLine() + boot + kernel + rootfs;
        WriteHostFile(path, rest + trailer);
        const std::uint32_t crc = CoreutilsCksum(path, 0, rest.size());
        WriteHostFile(path, "CRCSUM=" + std::to_string(crc) + lineEnd + rest + trailer);
    }

    static size_t CountLines(const std::string& text)
    {
        size_t n = 0;
        for (char c : text)
            n += c == '\n';
        return n;
    }
};

// What the application log holds now (its path is a Windows path).
inline std::string ComnLogText()
{
    std::u16string wide = CComnLog::GetInstance().GetLogFilePath();
    std::string path(wide.begin(), wide.end());
    for (char& c : path)
        c = c == '\\' ? '/' : c;
    return ReadHostFile(path);
}

}  // namespace core_test
