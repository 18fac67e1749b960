#include "support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace velmaris::test {

TempDir::TempDir() : TempDir(std::filesystem::temp_directory_path().string()) {}

TempDir::TempDir(const std::string& parent) {
  std::string templ = (std::filesystem::path(parent) / "velmaris-test-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void TempDir::Write(const std::string& name, const std::string& bytes) const {
  const auto full = std::filesystem::path(path_ + name);
  std::filesystem::create_directories(full.parent_path());
  std::ofstream f(full, std::ios::binary);
  f << bytes;
  if (!f) throw std::runtime_error("cannot write " + full.string());
}

std::string TempDir::Read(const std::string& name) const {
  std::ifstream f(path_ + name, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path_ + name);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

int RunShell(const std::string& command, std::string* out) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  const int status = pclose(p);
  if (out) *out = std::move(text);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ShellQuote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

int RunBatch(const std::string& startDir, const std::string& registry,
             const std::vector<std::string>& args, std::string* out, const std::string& redirect) {
  std::string command = ShellQuote(VELMARIS_BATCH) + " --dir " + ShellQuote(startDir) +
                        " --registry " + ShellQuote(registry);
  for (const auto& a : args) command += " " + ShellQuote(a);
  return RunShell(command + " " + redirect, out);
}

}  // namespace velmaris::test
