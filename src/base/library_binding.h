#pragma once
// The libraries the program reaches at run time (the USB library, the HID
// library) are loaded by name and their entry points looked up one by one. An
// entry point the library lacks, or a library that did not load, stays null,
// and its callers treat a null entry as a failed call.

#include <dlfcn.h>

namespace ostrel {

template <typename F>
void bindEntry(void* library, const char* name, F& entry) {
    entry = library != nullptr ? reinterpret_cast<F>(dlsym(library, name)) : nullptr;
}

}  // namespace ostrel
