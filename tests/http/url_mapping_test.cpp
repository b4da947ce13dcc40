#include "http/url_mapping.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tg {
namespace {

namespace fs = std::filesystem;

TEST(DecodeUrl, DecodesOnceAndRefusesBrokenEscapesAndNul) {
    struct Row {
        std::string text;
        std::optional<std::string> decoded;
    };
    const std::vector<Row> rows = {
        {"/a%20b.txt", "/a b.txt"},
        {"/%41%2f", "/A/"},
        {"/%41%2F%4a", "/A/J"},
        {"/100%%25", "/100%25"},  // "%%" is one "%", and what it produced is not decoded again
        {"/%2541", "/%41"},
        {"/a+b", "/a+b"},
        {"/%2B", "/+"},
        {"/%ff", "/\xff"},
        {"", ""},
        {"/%4", std::nullopt},
        {"/%", std::nullopt},
        {"/%zz", std::nullopt},
        {"/%g1", std::nullopt},
        {"/%%%", std::nullopt},
        {"/%00", std::nullopt},
        {"/a%00.txt", std::nullopt},
        {std::string("/a\0b", 4), std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(decodeUrl(row.text), row.decoded);
    }
}

TEST(UrlMapping, LexicalRootCheckResolvesDotsAndBothSeparators) {
    struct Row {
        std::string url;
        bool inside;
        std::string full;
    };
    const std::vector<Row> rows = {
        {"/", true, "/srv/htdocs"},
        {"", true, "/srv/htdocs"},
        {"/a/../b.txt", true, "/srv/htdocs/b.txt"},
        {"/./a//./b/", true, "/srv/htdocs/a/b"},
        {"/a\\b.txt", true, "/srv/htdocs/a/b.txt"},
        {"/../secret.txt", false, "/srv/secret.txt"},
        {"/a/../../b", false, "/srv/b"},
        {"\\..\\secret.txt", false, "/srv/secret.txt"},
        {"/../htdocs2/x", false, "/srv/htdocs2/x"},  // the root's name as a prefix is not enough
        {"/../htdocs/x", true, "/srv/htdocs/x"},
        {"/../../../../etc/passwd", false, "/etc/passwd"},
    };
    for (const std::string_view root : {"/srv/htdocs", "/srv/htdocs/", "/srv/./htdocs"}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(root) + " + " + row.url);
            std::string path = row.url;
            EXPECT_EQ(isInsideRoot(root, path), row.inside);
            EXPECT_EQ(path, row.full);
        }
    }
    std::string anything = "/../x";
    EXPECT_TRUE(isInsideRoot("/", anything));
    EXPECT_EQ(anything, "/x");
}

TEST(UrlMapping, SplitLastComponentCutsAtEitherSeparator) {
    std::string path = "/a/b\\c";
    EXPECT_EQ(splitLastComponent(path), "\\c");
    EXPECT_EQ(path, "/a/b");
    EXPECT_EQ(splitLastComponent(path), "/b");
    EXPECT_EQ(splitLastComponent(path), "/a");
    EXPECT_EQ(path, "");
    path = "name";
    EXPECT_EQ(splitLastComponent(path), "name");
    EXPECT_EQ(path, "");
}

// A content root "htdocs" inside a temporary folder, so that the folder around it can hold
// what must never be served.
class UrlMappingFiles : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(m_root);
        fs::create_directory(m_dir.path() / "outside");
        write(m_dir.file("secret.txt"), "secret");
        write(m_dir.file("outside/inner.txt"), "secret too");
    }

    static void write(const std::string& path, const std::string& bytes) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    void put(const std::string& relative, const std::string& bytes = "x") {
        write((m_root / relative).string(), bytes);
    }
    std::string full(const std::string& relative) const { return (m_root / relative).string(); }
    UrlMapping map(std::string_view url, ExecKind kind = ExecKind::None, unsigned port = 80) {
        return mapUrlToFile({m_root.string(), "tgbox", port}, url, kind);
    }

    test::TempDir m_dir;
    fs::path m_root = m_dir.path() / "htdocs";
};

TEST_F(UrlMappingFiles, FoldersRedirectToTheirFirstDefaultDocumentOrAreForbidden) {
    EXPECT_EQ(map("/").status, kStatusForbidden);  // none yet
    put("index.html");
    put("index.htm");
    EXPECT_EQ(map("/").status, kStatusRedirect);
    EXPECT_EQ(map("/").location, "http://tgbox/index.html");
    EXPECT_EQ(map("/", ExecKind::None, 8080).location, "http://tgbox:8080/index.html");
    put("default.htm");
    EXPECT_EQ(map("/").location, "http://tgbox/default.htm");

    // With or without a slash, and without the parameters.
    put("sub/index.html");
    for (const char* url : {"/sub", "/sub/", "/sub\\", "/x/../sub"}) {
        for (ExecKind kind : {ExecKind::None, ExecKind::Parameters}) {
            SCOPED_TRACE(url);
            const UrlMapping mapping = map(url, kind);
            EXPECT_EQ(mapping.status, kStatusRedirect);
            EXPECT_EQ(mapping.location, "http://tgbox/sub/index.html");
        }
    }

    // A default program gets a question mark; a default document still comes first.
    put("folder/default.bat");
    EXPECT_EQ(map("/folder").location, "http://tgbox/folder/default.bat?");
    put("folder/default.exe");
    EXPECT_EQ(map("/folder").location, "http://tgbox/folder/default.exe?");
    put("folder/index.htm");
    EXPECT_EQ(map("/folder").location, "http://tgbox/folder/index.htm");

    put("empty/other.html");
    fs::create_directories(m_root / "empty/index.html");  // a folder does not count
    EXPECT_EQ(map("/empty").status, kStatusForbidden);
    EXPECT_EQ(map("/empty", ExecKind::Parameters).status, kStatusForbidden);
}

TEST_F(UrlMappingFiles, DotDotEscapesAreBadRequestsAndInnerDotsResolve) {
    put("b.txt", "root b");
    put("a/x.txt");
    for (const char* url : {"/../secret.txt", "/a/../../b", "/..\\secret.txt", "\\..\\secret.txt",
                            "/../outside/inner.txt", "/a/../../htdocs/../secret.txt"}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(map(url).status, kStatusBadRequest);
    }
    const UrlMapping mapping = map("/a/../b.txt");
    EXPECT_EQ(mapping.status, 0);
    EXPECT_EQ(mapping.filePath, full("b.txt"));
    EXPECT_FALSE(mapping.isFolder);
    EXPECT_EQ(map("/a\\x.txt").filePath, full("a/x.txt"));
    EXPECT_EQ(map(std::string("/b.txt\0/../../secret.txt", 25)).status, kStatusBadRequest);
    // Without a content root nothing is served, rather than everything below "/".
    EXPECT_EQ(mapUrlToFile({"", "tgbox", 80}, "/etc/passwd", ExecKind::None).status,
              kStatusNotFound);
}

TEST_F(UrlMappingFiles, MissingPathsAndFoldersWithMorePathAreNotFound) {
    put("page.html");
    put("sub/index.html");
    const UrlMapping mapping = map("/page.html/extra/words");
    EXPECT_EQ(mapping.status, 0);
    EXPECT_EQ(mapping.filePath, full("page.html"));
    for (const char* url :
         {"/missing.txt", "/sub/missing", "/sub/missing/more", "/nothing/at/all"}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(map(url).status, kStatusNotFound);
    }
}

TEST_F(UrlMappingFiles, ParametersNeedAKnownExtension) {
    for (const char* name : {"report.txt", "noext", "tool.dll", "run.exe", "page.HTML", "go.bat"})
        put(name);
    EXPECT_EQ(map("/report.txt", ExecKind::Parameters).status, kStatusBadRequest);
    EXPECT_EQ(map("/noext", ExecKind::Parameters).status, kStatusBadRequest);
    EXPECT_EQ(map("/report.txt").execKind, ExecKind::None);
    EXPECT_EQ(map("/report.txt").status, 0);
    EXPECT_EQ(map("/tool.dll", ExecKind::Parameters).execKind, ExecKind::Library);
    EXPECT_EQ(map("/run.exe", ExecKind::Parameters).execKind, ExecKind::Script);
    EXPECT_EQ(map("/page.HTML", ExecKind::Parameters).execKind, ExecKind::Script);
    EXPECT_EQ(map("/go.bat", ExecKind::Parameters).execKind, ExecKind::Script);
    EXPECT_EQ(map("/page.HTML").execKind, ExecKind::None);  // classified only with parameters
}

TEST_F(UrlMappingFiles, SymbolicLinksOutOfTheRootAreRefused) {
    put("real/page.txt", "inside");
    fs::create_symlink(m_dir.file("secret.txt"), m_root / "leak.txt");
    fs::create_directory_symlink(m_dir.path() / "outside", m_root / "leakdir");
    fs::create_symlink("../secret.txt", m_root / "relative.txt");
    fs::create_symlink(m_root / "real/page.txt", m_root / "alias.txt");
    fs::create_directory_symlink("real", m_root / "aliasdir");
    fs::create_symlink(m_root / "gone.txt", m_root / "dangling.txt");

    for (const char* url : {"/leak.txt", "/leakdir/inner.txt", "/leakdir", "/relative.txt"}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(map(url).status, kStatusBadRequest);
    }
    EXPECT_EQ(map("/dangling.txt").status, kStatusNotFound);

    for (const char* url : {"/alias.txt", "/aliasdir/page.txt"}) {
        SCOPED_TRACE(url);
        UrlMapping mapping = map(url);
        ASSERT_EQ(mapping.status, 0);
        EXPECT_EQ(mapping.realPath, fs::canonical(m_root / "real/page.txt").string());
        FileToSend file = openForSending(std::move(mapping), MediaTypes::builtIn());
        ASSERT_TRUE(file.fd);
        char bytes[16] = {};
        EXPECT_EQ(::read(file.fd.get(), bytes, sizeof bytes), 6);
        EXPECT_STREQ(bytes, "inside");
    }

    // Links changed while the server runs count from the next request on.
    put("swapped.txt", "inside");
    EXPECT_EQ(map("/swapped.txt").status, 0);
    fs::remove(m_root / "swapped.txt");
    fs::create_symlink(m_dir.file("secret.txt"), m_root / "swapped.txt");
    EXPECT_EQ(map("/swapped.txt").status, kStatusBadRequest);
    // A folder above the file swapped for a link after mapping. A file found without links
    // was opened as it was found and is what is sent; one found through a link is opened
    // through its resolved path, which now holds a link, and is refused rather than followed.
    write(m_dir.file("outside/real/page.txt"), "secret");
    UrlMapping direct = map("/real/page.txt");
    UrlMapping viaLink = map("/alias.txt");
    ASSERT_EQ(direct.status, 0);
    ASSERT_EQ(viaLink.status, 0);
    fs::rename(m_root / "real", m_root / "was-real");
    fs::create_directory_symlink(m_dir.path() / "outside/real", m_root / "real");
    const FileToSend sent = openForSending(std::move(direct), MediaTypes::builtIn());
    ASSERT_TRUE(sent.fd);
    char bytes[16] = {};
    EXPECT_EQ(::read(sent.fd.get(), bytes, sizeof bytes), 6);
    EXPECT_STREQ(bytes, "inside");
    EXPECT_EQ(openForSending(std::move(viaLink), MediaTypes::builtIn()).status,
              kStatusUnavailable);

    // A content root named through a link serves what the link leads to.
    fs::create_directory_symlink(m_root, m_dir.path() / "root-link");
    const UrlMapping viaRoot = mapUrlToFile({(m_dir.path() / "root-link").string(), "tgbox", 80},
                                            "/was-real/page.txt", ExecKind::None);
    EXPECT_EQ(viaRoot.status, 0);
    EXPECT_EQ(viaRoot.realPath, fs::canonical(m_root / "was-real/page.txt").string());
}

TEST_F(UrlMappingFiles, HiddenFilesAndFoldersAreForbidden) {
    put(".htpasswd");
    put(".git/config");
    put(".git/index.html");
    put("pub/ok.txt");
    put("pub/.draft.html");
    fs::create_symlink(".htpasswd", m_root / "innocent.txt");
    for (const char* url : {"/.htpasswd", "/.git/config", "/.git", "/pub/.draft.html",
                            "/pub/../.git/config", "/innocent.txt"}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(map(url).status, kStatusForbidden);
        EXPECT_EQ(map(url, ExecKind::Parameters).status, kStatusForbidden);
    }
    EXPECT_EQ(map("/pub/ok.txt").status, 0);
    EXPECT_EQ(map("/pub/./ok.txt").status, 0);  // "." segments are resolved, not hidden names
}

TEST_F(UrlMappingFiles, RedirectLocationSurvivesDecodingOfOddFolderNames) {
    const std::string name = "a b%41?#\xc3\xa9+";
    put(name + "/index.html");
    const UrlMapping mapping = map("/" + name);
    ASSERT_EQ(mapping.status, kStatusRedirect);
    EXPECT_EQ(mapping.location, "http://tgbox/a%20b%2541%3F%23%C3%A9+/index.html");
    const std::string target = mapping.location.substr(std::string("http://tgbox").size());
    EXPECT_EQ(decodeUrl(target), "/" + name + "/index.html");
}

TEST_F(UrlMappingFiles, OpenForSendingGivesTheFileOrTheRefusal) {
    put("picture.gif", "GIF89a");
    put("empty.txt", "");
    put("plain", "no extension");
    put("sub/index.html");

    FileToSend gif = openForSending(map("/picture.gif"), MediaTypes::builtIn());
    EXPECT_EQ(gif.status, 0);
    ASSERT_TRUE(gif.fd);
    EXPECT_EQ(gif.mediaType, "image/gif");
    EXPECT_EQ(fcntl(gif.fd.get(), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);

    FileToSend empty = openForSending(map("/empty.txt"), MediaTypes::builtIn());
    ASSERT_TRUE(empty.fd);
    char byte = 0;
    EXPECT_EQ(::read(empty.fd.get(), &byte, 1), 0);

    EXPECT_EQ(openForSending(map("/plain"), MediaTypes::builtIn()).mediaType, std::nullopt);

    // Mappings made elsewhere are checked again.
    UrlMapping folder = map("/sub/index.html");
    folder.filePath = folder.realPath = full("sub");
    folder.isFolder = true;
    EXPECT_EQ(openForSending(std::move(folder), MediaTypes::builtIn()).status, kStatusForbidden);
    UrlMapping hidden = map("/picture.gif");
    hidden.hidden = true;
    EXPECT_EQ(openForSending(std::move(hidden), MediaTypes::builtIn()).status, kStatusForbidden);

    // A FIFO is not a file to send and must not block the open.
    ASSERT_EQ(::mkfifo(full("pipe.txt").c_str(), 0600), 0);
    const FileToSend pipe = openForSending(map("/pipe.txt"), MediaTypes::builtIn());
    EXPECT_EQ(pipe.status, kStatusUnavailable);
    EXPECT_FALSE(pipe.fd);

    // Gone between mapping and opening: a file the mapping did not open is not found.
    UrlMapping mapped = map("/empty.txt");
    mapped.opened.reset();
    fs::remove(full("empty.txt"));
    EXPECT_EQ(openForSending(std::move(mapped), MediaTypes::builtIn()).status, kStatusUnavailable);

    if (::geteuid() != 0) {  // root reads anything
        put("locked.txt");
        fs::permissions(full("locked.txt"), fs::perms::none);
        EXPECT_EQ(openForSending(map("/locked.txt"), MediaTypes::builtIn()).status,
                  kStatusUnavailable);
    }
}

}  // namespace
}  // namespace tg
