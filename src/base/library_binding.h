#pragma once
// The libraries the program reaches at run time (the USB library, the HID
// library) are loaded by name and their entry points looked up one by one. An
// entry point the library lacks, or a library that did not load, stays null,
// and its callers treat a null entry as a failed call.

#include <string>

#include "base/platform.h"

namespace ostrel {

template <typename F>
void bindEntry(void* library, const char* name, F& entry) {
    entry = reinterpret_cast<F>(platform::librarySymbol(library, name));
}

// The file a loaded library came from, with its links resolved (so that the
// version in its name shows); empty for a null handle.
inline std::string libraryFile(void* library) {
    return platform::libraryFile(library);
}

// The file of the library `name` as the program would load it, or empty.
inline std::string libraryFileOf(const char* name) {
    void* library = platform::loadLibrary(name);
    const std::string file = libraryFile(library);
    platform::unloadLibrary(library);
    return file;
}

}  // namespace ostrel
