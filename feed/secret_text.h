// Text that holds a secret (the RealTraffic credential). Every buffer it
// uses is overwritten before it goes back to the heap, its own inline buffer
// included, so that no copy outlives the text. The JSON type below keeps its
// strings, and its parser's token buffer, in the same kind of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>
#include <sodium.h>

template <typename T>
struct WipingAllocator {
    using value_type = T;

    WipingAllocator() noexcept = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) noexcept
    {
    }
    T* allocate(std::size_t n) { return std::allocator<T>{}.allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept
    {
        sodium_memzero(p, n * sizeof(T));
        std::allocator<T>{}.deallocate(p, n);
    }
    template <typename U>
    bool operator==(const WipingAllocator<U>&) const noexcept
    {
        return true;
    }
};

using WipedString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

class SecretText {
public:
    SecretText() = default;
    explicit SecretText(std::string_view text) : m_text(text.data(), text.size()) {}
    SecretText(const SecretText& other) : m_text(other.m_text) {}
    SecretText(SecretText&& other) noexcept : m_text(std::move(other.m_text)) { other.wipe(); }
    SecretText& operator=(const SecretText& other)
    {
        if (this != &other) {
            wipe();
            m_text = other.m_text;
        }
        return *this;
    }
    SecretText& operator=(SecretText&& other) noexcept
    {
        if (this != &other) {
            wipe();
            m_text = std::move(other.m_text);
            other.wipe();
        }
        return *this;
    }
    ~SecretText() { wipe(); }

    std::string_view view() const noexcept { return {m_text.data(), m_text.size()}; }
    bool empty() const noexcept { return m_text.empty(); }
    std::size_t size() const noexcept { return m_text.size(); }
    WipedString& text() noexcept { return m_text; }
    const WipedString& text() const noexcept { return m_text; }

    // Overwrites the whole buffer (also the inline one of a short text).
    void wipe() noexcept
    {
        sodium_memzero(m_text.data(), m_text.capacity());
        m_text.clear();
    }

private:
    WipedString m_text;
};

using SecretJson = nlohmann::basic_json<std::map, std::vector, WipedString, bool, std::int64_t, std::uint64_t,
                                        double, WipingAllocator>;
