#pragma once
// Where diagrams live in the store: one key per diagram under "diagrams", below it one key
// per filter, group and y-axis in the folders named here. Paths are relative to the product
// key, in the form ConfigKey::open takes them (leading backslash included).

#include <string>
#include <string_view>

namespace tg {

inline constexpr std::string_view kDiagramsKey = "\\diagrams";
inline constexpr std::string_view kFiltersFolder = "filters";
inline constexpr std::string_view kGroupsFolder = "groups";
inline constexpr std::string_view kAxesFolder = "yaxises";

// "\diagrams\<name>".
inline std::string diagramKeyPath(std::string_view name) {
    std::string path(kDiagramsKey);
    path += '\\';
    path += name;
    return path;
}

// "\diagrams\<diagram>\<folder>" and "\diagrams\<diagram>\<folder>\<item>".
inline std::string folderKeyPath(std::string_view diagram, std::string_view folder) {
    std::string path = diagramKeyPath(diagram);
    path += '\\';
    path += folder;
    return path;
}

inline std::string itemKeyPath(std::string_view diagram, std::string_view folder,
                               std::string_view item) {
    std::string path = folderKeyPath(diagram, folder);
    path += '\\';
    path += item;
    return path;
}

// Whether `name` names a key of its own. The store skips empty path components, so an empty
// name (or one of backslashes only) would address the parent key instead: a diagram's values
// would land on the diagrams key, an item's on its folder.
inline bool hasOwnKey(std::string_view name) {
    return name.find_first_not_of('\\') != std::string_view::npos;
}

}  // namespace tg
