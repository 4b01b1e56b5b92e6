// The Java runtimes and development kits registered for 64-bit programs: every version under
// HKLM\SOFTWARE\JavaSoft's "Java Runtime Environment", then "Java Development Kit", each by its
// JavaHome. The Java step serves them and the removal takes back what it put there.
#pragma once

#include <stddef.h>

// Where one family keeps the files the installer puts into a home.
struct JavaFamily {
    const char* keyName;
    const char* libraryPath;
    const char* propertiesPath;
    const char* policyPath;
    bool isRuntime;  // only runtimes receive the bridge library in their own extension directory
};

// Called for each home read; false stops the walk.
typedef bool (*JavaHomeVisitor)(void* context, const JavaFamily* family);

// Reads the JavaHome of every registered version into home (capacity bytes, by the rules of
// ReadRegistryText), runtimes first, and calls visit for each one read, until it answers false.
// Every key is opened with full access, which only an administrator gets. Returns false when
// the JavaSoft key, or both families' keys, cannot be opened.
bool ForEachJavaHome(char* home, size_t capacity, JavaHomeVisitor visit, void* context);
