#pragma once
// Test support shared by every test binary.

#include <filesystem>
#include <string>

namespace tg::test {

// A fresh folder for one test's files, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// The bytes of the file at `path`; empty when it cannot be read.
std::string readFile(const std::string& path);
// Replaces the file at `path` with `bytes`, or adds `bytes` at its end.
void writeFile(const std::string& path, const std::string& bytes);
void appendFile(const std::string& path, const std::string& bytes);

}  // namespace tg::test
