// A password held only as long as it is needed. It lives in a locked page of
// its own that core dumps leave out, of a fixed capacity reserved up front
// (it never grows, so no old buffer is left behind), and is wiped whole when
// it goes; a move hands the page over, so no copy remains. While any secret
// is held the process makes no core dump at all.
#pragma once

#include <cstddef>
#include <string_view>

namespace cli {

class Secret {
public:
    // Bytes a secret can hold; longer input is refused, never cut.
    static constexpr std::size_t kCapacity = 255;

    Secret();
    ~Secret();
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    // False, keeping nothing, when it is full.
    bool append(char c);
    void dropLast();

    const char* c_str() const { return page_ ? page_ : ""; }
    std::string_view text() const { return {c_str(), size_}; }
    std::size_t size() const { return size_; }

private:
    void release();
    char* page_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace cli
