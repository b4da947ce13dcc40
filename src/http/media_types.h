#pragma once
// Media types by file extension, for the "Content-type" header of static files. Read once
// from the system's list (/etc/mime.types: lines "type/subtype ext1 ext2 ...", "#" starts a
// comment); a small built-in table stands in when that list cannot be read or names no
// extension. Immutable after loading; any thread.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tg {

inline constexpr std::string_view kSystemMediaTypes = "/etc/mime.types";

class MediaTypes {
public:
    // The list at `path`, or the built-in table when it is missing, unreadable or empty.
    // When an extension is listed twice the first entry counts.
    static MediaTypes load(const std::string& path = std::string(kSystemMediaTypes));
    static MediaTypes builtIn();

    // By the extension after the last "." of the path's last component, without regard to
    // ASCII case. None for no extension or an unknown one.
    std::optional<std::string> contentTypeFor(std::string_view path) const;

private:
    std::unordered_map<std::string, std::string> m_byExtension;  // extension in lower case
};

}  // namespace tg
