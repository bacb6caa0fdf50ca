// The language layer's process-wide state. A worker thread may look a text up
// while the user switches language, so every access takes the lock.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "app/core/language/PublicFunction.h"

struct LanguageGlobals {
    std::mutex lock;
    std::u16string g_szLanguagePath;
    std::vector<LanguageListEntry> languageList;
    std::u16string dataFolder;
};

LanguageGlobals& TheLanguageGlobals();
