// A stand-in for a Java runtime in the Windows demo: prints the arguments it
// was given, as a Java runtime would receive them, and a greeting.
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  std::string greeting = "Hello";
  std::string name;
  for (int i = 1; i < argc; ++i) {
    std::printf("argument %d: %s\n", i, argv[i]);
    if (std::strncmp(argv[i], "-Dgreeting=", 11) == 0) greeting = argv[i] + 11;
    if (i == argc - 1) name = argv[i];
  }
  std::printf("%s, %s!\n", greeting.c_str(), name.c_str());
  std::fflush(stdout);
  return 0;
}
