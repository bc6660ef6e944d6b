#pragma once
// The libraries the program reaches at run time (the USB library, the HID
// library) are loaded by name and their entry points looked up one by one. An
// entry point the library lacks, or a library that did not load, stays null,
// and its callers treat a null entry as a failed call.

#include <dlfcn.h>
#include <link.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace ostrel {

template <typename F>
void bindEntry(void* library, const char* name, F& entry) {
    entry = library != nullptr ? reinterpret_cast<F>(dlsym(library, name)) : nullptr;
}

// The file a loaded library came from, with its links resolved (so that the
// version in its name shows); empty for a null handle.
inline std::string libraryFile(void* library) {
    link_map* map = nullptr;
    if (library == nullptr || dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
        map->l_name == nullptr)
        return {};
    char resolved[PATH_MAX];
    return realpath(map->l_name, resolved) != nullptr ? resolved : map->l_name;
}

// The file of the library `name` as the program would load it, or empty.
inline std::string libraryFileOf(const char* name) {
    void* library = dlopen(name, RTLD_LAZY | RTLD_LOCAL);
    const std::string file = libraryFile(library);
    if (library != nullptr) dlclose(library);
    return file;
}

}  // namespace ostrel
