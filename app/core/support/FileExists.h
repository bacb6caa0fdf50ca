#pragma once

// True when the path can be accessed; says nothing about what it is.
bool FileExists(const char16_t* path);
