#include "http/url_mapping.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace tg {
namespace {

// Tried in this order on a folder; the programs are redirected to with a "?" added.
constexpr std::array<std::string_view, 4> kDefaultDocuments = {"default.html", "default.htm",
                                                               "index.html", "index.htm"};
constexpr std::array<std::string_view, 2> kDefaultPrograms = {"default.exe", "default.bat"};
constexpr std::array<std::string_view, 3> kScriptExtensions = {"bat", "exe", "html"};
constexpr std::array<std::string_view, 1> kLibraryExtensions = {"dll"};

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Adds the segments of `text`, split at any of `separators`, to `segments`, resolving "."
// and ".." as it goes; ".." at the top stays at the top.
void appendSegments(std::vector<std::string_view>& segments, std::string_view text,
                    std::string_view separators) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(separators, start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view segment = text.substr(start, end - start);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
}

std::string joinSegments(const std::vector<std::string_view>& segments) {
    if (segments.empty()) return "/";
    std::string out;
    for (std::string_view segment : segments) {
        out += '/';
        out += segment;
    }
    return out;
}

// The root as isInsideRoot compares it. Only "/" separates in the root itself: it is a
// real folder name, where a backslash is an ordinary character.
std::string normaliseRoot(std::string_view root) {
    std::vector<std::string_view> segments;
    appendSegments(segments, root, "/");
    return joinSegments(segments);
}

// Empty when the root is not set or cannot be made absolute: nothing is served then, rather
// than everything below "/".
std::string absoluteRoot(const ContentRoot& root) {
    if (root.folder.empty()) return {};
    if (root.folder.front() == '/') return normaliseRoot(root.folder);  // the usual case
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(root.folder, error);
    if (error || absolute.empty()) return {};
    return normaliseRoot(absolute.string());
}

bool isWithin(std::string_view root, std::string_view path) {
    if (root == "/") return !path.empty() && path[0] == '/';
    return path.size() >= root.size() && path.compare(0, root.size(), root) == 0 &&
           (path.size() == root.size() || path[root.size()] == '/');
}

// Whether a segment of `path` below `root` starts with ".".
bool hasHiddenSegment(std::string_view root, std::string_view path) {
    const std::string_view below = root == "/" ? path : path.substr(root.size());
    for (std::size_t i = 0; i + 1 < below.size(); ++i) {
        if (below[i] == '/' && below[i + 1] == '.') return true;
    }
    return false;
}

// Opens `path` only if no component of it is a symbolic link (nor a /proc magic link); -1
// otherwise, or when the kernel has no openat2.
int openWithoutLinks(const std::string& path, std::uint64_t flags) {
    open_how how{};
    how.flags = flags | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd;
    do {
        fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    } while (fd < 0 && errno == EINTR);
    return static_cast<int>(fd);
}

// The status of `path` when no component of it is a symbolic link: such a path (absolute and
// lexically normal) is its own real path, and the one open proves it. A regular file stays
// open in `file` to be sent. False otherwise.
bool statWithoutLinks(const std::string& path, struct stat& info, UniqueFd& file) {
    UniqueFd fd(openWithoutLinks(path, O_RDONLY | O_NONBLOCK | O_NOCTTY));
    const bool readable = static_cast<bool>(fd);
    // Not ours to read, but found all the same (a folder without read permission, say).
    if (!readable && errno == EACCES) fd.reset(openWithoutLinks(path, O_PATH));
    if (!fd || ::fstat(fd.get(), &info) != 0) return false;
    if (readable && S_ISREG(info.st_mode)) file = std::move(fd);
    return true;
}

std::optional<std::string> realPathOf(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    if (!real) return std::nullopt;
    return std::string(real.get());
}

std::string childPath(const std::string& folder, std::string_view name) {
    std::string out = folder;
    if (out.empty() || out.back() != '/') out += '/';
    out += name;
    return out;
}

// Redirects to the first entry of `names` that exists in the folder as a non-folder.
bool checkDefaultDocuments(const ContentRoot& root, UrlMapping& mapping,
                           std::span<const std::string_view> names, bool addQuestionMark) {
    for (std::string_view name : names) {
        const std::string candidate = childPath(mapping.filePath, name);
        struct stat info {};
        if (::stat(candidate.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
        mapping.status = kStatusRedirect;
        mapping.location = fileUrl(root, candidate) + (addQuestionMark ? "?" : "");
        return true;
    }
    return false;
}

// Script or Library by the extension after the last "." of the file name.
bool matchExtension(UrlMapping& mapping) {
    const std::string_view path = mapping.filePath;
    const std::string_view name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view extension = name.substr(dot + 1);
    for (std::string_view script : kScriptExtensions) {
        if (equalsNoCase(extension, script)) {
            mapping.execKind = ExecKind::Script;
            return true;
        }
    }
    for (std::string_view library : kLibraryExtensions) {
        if (equalsNoCase(extension, library)) {
            mapping.execKind = ExecKind::Library;
            return true;
        }
    }
    return false;
}

UrlMapping answer(int status) {
    UrlMapping mapping;
    mapping.status = status;
    return mapping;
}

}  // namespace

std::optional<std::string> decodeUrl(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 1 < text.size() && text[i + 1] == '%') {
                i += 1;
            } else {
                if (i + 2 >= text.size()) return std::nullopt;
                const int high = hexValue(text[i + 1]);
                const int low = hexValue(text[i + 2]);
                if (high < 0 || low < 0) return std::nullopt;
                c = static_cast<char>(high * 16 + low);
                i += 2;
            }
        }
        if (c == '\0') return std::nullopt;
        out += c;
    }
    return out;
}

bool isInsideRoot(std::string_view root, std::string& path) {
    std::vector<std::string_view> segments;
    appendSegments(segments, root, "/");
    const std::string normalRoot = joinSegments(segments);
    appendSegments(segments, path, "/\\");
    path = joinSegments(segments);
    return isWithin(normalRoot, path);
}

std::string splitLastComponent(std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    if (separator == std::string::npos) return std::exchange(path, std::string());
    std::string cut = path.substr(separator);
    path.resize(separator);
    return cut;
}

std::string fileUrl(const ContentRoot& root, std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string rootPath = absoluteRoot(root);
    std::string below(isWithin(rootPath, path) && rootPath != "/" ? path.substr(rootPath.size())
                                                                  : path);
    std::string url = "http://" + root.hostName;
    if (root.port != 80) url += ":" + std::to_string(root.port);
    for (char c : below) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') ||
                           std::string_view("-._~/!$&'()*+,;=:@").find(c) != std::string_view::npos;
        if (c == '\\') {
            url += '/';
        } else if (plain) {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 0xF];
        }
    }
    return url;
}

UrlMapping mapUrlToFile(const ContentRoot& root, std::string_view decodedUrl, ExecKind execKind) {
    // A NUL would cut the path short in every system call below.
    if (decodedUrl.find('\0') != std::string_view::npos) return answer(kStatusBadRequest);
    const std::string rootPath = absoluteRoot(root);
    if (rootPath.empty()) return answer(kStatusNotFound);
    std::string path(decodedUrl);
    if (!isInsideRoot(rootPath, path)) return answer(kStatusBadRequest);

    struct stat info {};
    std::optional<std::string> realRoot;
    std::optional<std::string> realPath;
    UniqueFd opened;
    if (statWithoutLinks(path, info, opened)) {
        // The usual case: the path exists, and no link on it can lead anywhere.
        realRoot = rootPath;
        realPath = path;
    } else {
        // The longest existing path; a folder with more path behind it is not found.
        bool cut = false;
        while (::stat(path.c_str(), &info) != 0) {
            splitLastComponent(path);
            if (path.size() < rootPath.size() || (rootPath == "/" && path.empty()))
                return answer(kStatusNotFound);
            cut = true;
        }
        if (cut && S_ISDIR(info.st_mode)) return answer(kStatusNotFound);

        // Symbolic links may lead out of the root although the path stays inside it.
        realRoot = realPathOf(rootPath);
        realPath = realPathOf(path);
        if (!realRoot || !realPath) return answer(kStatusNotFound);
        if (!isWithin(*realRoot, *realPath)) return answer(kStatusBadRequest);
    }

    UrlMapping mapping;
    mapping.filePath = path;
    mapping.realPath = *realPath;
    mapping.isFolder = S_ISDIR(info.st_mode);
    mapping.hidden = hasHiddenSegment(rootPath, path) || hasHiddenSegment(*realRoot, *realPath);
    mapping.execKind = execKind;
    mapping.opened = std::move(opened);
    mapping.size = static_cast<std::uint64_t>(info.st_size);
    // Refused here rather than only when sending, because requests with parameters and
    // templates never reach the sender.
    if (mapping.hidden) return answer(kStatusForbidden);

    if (mapping.isFolder) {
        if (checkDefaultDocuments(root, mapping, kDefaultDocuments, false) ||
            checkDefaultDocuments(root, mapping, kDefaultPrograms, true))
            return mapping;
        return answer(kStatusForbidden);
    }
    if (execKind != ExecKind::None && !matchExtension(mapping)) return answer(kStatusBadRequest);
    return mapping;
}

UniqueFd openFileWithoutLinks(const std::string& path) {
    UniqueFd fd(openWithoutLinks(path, O_RDONLY | O_NONBLOCK | O_NOCTTY));
    if (!fd && (errno == ENOSYS || errno == EPERM)) {  // no openat2 (old kernel, some sandboxes)
        fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
    }
    return fd;
}

FileToSend openForSending(UrlMapping mapping, const MediaTypes& mediaTypes) {
    FileToSend file;
    if (mapping.status != 0) {
        file.status = mapping.status;
        return file;
    }
    if (mapping.hidden || mapping.isFolder) {
        file.status = kStatusForbidden;
        return file;
    }
    UniqueFd fd = std::move(mapping.opened);
    std::uint64_t size = mapping.size;
    if (!fd) {
        // The resolved path has no links: one swapped in anywhere on it since mapping (for the
        // file or for a folder above it) is refused rather than followed.
        fd = openFileWithoutLinks(mapping.realPath.empty() ? mapping.filePath : mapping.realPath);
        struct stat info {};
        if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            file.status = kStatusUnavailable;
            return file;
        }
        size = static_cast<std::uint64_t>(info.st_size);
    }
    file.fd = std::move(fd);
    file.size = size;
    file.mediaType = mediaTypes.contentTypeFor(mapping.filePath);
    return file;
}

}  // namespace tg
