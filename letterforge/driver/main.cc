#include <string>
#include <vector>

#include "letterforge/driver/run_frame.h"
#include "platform/files.h"

int main(int argc, char** argv) {
  platform::reportOversizedWritesAsFailures();
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return letterforge::runLetterforge(arguments);
}
