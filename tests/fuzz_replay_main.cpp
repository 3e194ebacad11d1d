// Runs a fuzz target's entry point over its seed corpus and saved crashers.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);

namespace {

std::vector<std::filesystem::path> InputFiles() {
  std::vector<std::filesystem::path> Files;
  std::stringstream Dirs(FUZZ_INPUT_DIRS);
  std::string Dir;
  while (std::getline(Dirs, Dir, ':')) {
    std::error_code Ec;
    for (const auto& Entry : std::filesystem::directory_iterator(Dir, Ec))
      if (Entry.is_regular_file()) Files.push_back(Entry.path());
  }
  return Files;
}

TEST(FuzzReplay, EveryInputRunsCleanly) {
  auto Files = InputFiles();
  ASSERT_FALSE(Files.empty()) << "no seeds in " << FUZZ_INPUT_DIRS;
  for (const auto& Path : Files) {
    std::ifstream In(Path, std::ios::binary);
    std::string Bytes{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
    SCOPED_TRACE(Path.string());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size());
  }
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
