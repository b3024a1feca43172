// Holds a document open the way another Windows program may: for reading and
// writing, sharing reading only, until its standard input ends. Writes "open"
// once it holds the file, so that a script knows when to go on.
// Usage: hold_open FILE
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hold_open FILE\n");
    return 2;
  }
  HANDLE file = ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "hold_open: %s: error %lu\n", argv[1], ::GetLastError());
    return 1;
  }
  std::printf("open\n");
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  ::CloseHandle(file);
  return 0;
}
