// Owned C texts of the library's records: copied with malloc, freed with free.
#pragma once

#include <cstdlib>
#include <cstring>

namespace kx {

// Makes field a copy of text, or none when text is none. A field that
// already holds the same text is left alone. False when the copy failed.
inline bool setText(char*& field, const char* text)
{
    if (!text) {
        std::free(field);
        field = nullptr;
        return true;
    }
    if (field && std::strcmp(field, text) == 0)
        return true;
    char* copy = strdup(text);
    if (!copy)
        return false;
    std::free(field);
    field = copy;
    return true;
}

inline void freeText(char*& field)
{
    std::free(field);
    field = nullptr;
}

}  // namespace kx
