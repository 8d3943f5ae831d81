// Kestrova's entry point. For now it offers the command line only.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("Kestrova 1.3");
      return 0;
    }
  }
  std::puts("Kestrova 1.3: the window and the headless runner are not built yet.");
  return 0;
}
