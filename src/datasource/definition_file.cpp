#include "datasource/definition_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "datasource/definition_xml.h"
#include "platform/unique_fd.h"

namespace tg {
namespace {

std::string reason(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

constexpr const char* kTooLarge = "the file is larger than 16 MiB";

}  // namespace

int readDefinitionInput(int fd, std::string& text, std::string& error) {
    std::string read;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            error = reason("cannot read the file", errno);
            return 1;
        }
        if (read.size() + static_cast<std::size_t>(got) > kMaxDefinitionXml) {
            error = kTooLarge;
            return 1;
        }
        read.append(buffer, static_cast<std::size_t>(got));
    }
    text = std::move(read);
    return 0;
}

int readDefinitionFile(const std::string& path, std::string& text, std::string& error) {
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!file) {
        error = reason("cannot open " + path, errno);
        return 1;
    }
    struct stat status;
    if (::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::uint64_t>(status.st_size) > kMaxDefinitionXml) {
        error = kTooLarge;
        return 1;
    }
    return readDefinitionInput(file.get(), text, error);
}

int writeDefinitionOutput(int fd, std::string_view text, std::string& error) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = reason("cannot write the file", written < 0 ? errno : EIO);
            return 1;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

int writeDefinitionFile(const std::string& path, std::string_view text,
                        const ExchangeQuestion& ask, std::string& error) {
    error.clear();
    struct stat status;
    if (::lstat(path.c_str(), &status) == 0 && !ask(std::string(kRewriteFileQuestion))) return 1;
    UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666));
    if (!file) {
        error = reason("cannot write " + path, errno);
        return 1;
    }
    if (writeDefinitionOutput(file.get(), text, error) != 0) return 1;
    if (::close(file.release()) != 0) {
        error = reason("cannot write " + path, errno);
        return 1;
    }
    return 0;
}

}  // namespace tg
