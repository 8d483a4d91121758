// Entry points that fault the way a broken codec library might.
#include <cstdint>

extern "C" {

int svt_add(int a, int b) { return a + b; }

int svt_null_write(int value) {
  int* volatile target = nullptr;
  *target = value;
  return value;
}

int svt_divide(int a, int b) {
  volatile int divisor = b;
  return a / divisor;
}

// Deep enough to run off the end of any stack.
int svt_recurse(int depth) {
  if (depth < 0) return 0;
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return svt_recurse(depth + 1) + frame[0];
}

void svt_illegal_instruction() {
#if defined(__x86_64__) || defined(__i386__)
  __asm__ volatile("ud2");
#else
  __builtin_trap();
#endif
}
}
