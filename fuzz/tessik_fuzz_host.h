#pragma once

#include "fuzz_check.h"
#include "tessik_host.h"

#include <dlfcn.h>

// The fuzz target's host of the real Tessik module, made once per process
// from LLVMFuzzerInitialize. The module is loaded here first and never
// unloaded: libFuzzer keeps the coverage counters of every instrumented
// module it has seen, and those of a module unloaded by registration would
// lie in memory that is later reused.
inline const testing_support::TessikHost& FuzzHost() {
  static void* const module = dlopen(TESSIK_MODULE, RTLD_NOW | RTLD_NODELETE);
  Require(module != nullptr, "the Tessik module does not load");
  static const testing_support::TessikHost host;
  return host;
}

// A new FileSplit, neither initialised nor loaded, from the class factory the
// registry leads to. The factory is looked up once: reading the registry
// file for every input would cost more than the input itself.
inline platform::Ref<platform::Dispatch> NewFileSplit() {
  static const platform::Ref<platform::ClassFactory> factory = [] {
    FuzzHost();
    const platform::RegisteredClass found = platform::FindRegisteredClass("Tessik.FileSplit");
    return platform::GetClassObject(found.modulePath, found.clsid);
  }();
  platform::Ref<platform::Dispatch> object;
  Require(platform::Succeeded(factory->CreateInstance(platform::Dispatch::kIid, object.Receive())),
          "the FileSplit factory refused an instance");
  return object;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzHost();
  return 0;
}
