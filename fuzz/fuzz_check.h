#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the run when a property a fuzz target checks does not hold; libFuzzer
// then keeps the input that broke it as a crash reproducer.
inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}
