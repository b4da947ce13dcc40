#include "http/media_types.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_dir.h"

namespace tg {
namespace {

TEST(MediaTypes, ReadsTheListIgnoringCommentsAndLetterCase) {
    test::TempDir dir;
    std::ofstream(dir.file("mime.types")) << "# comment image/x-wrong gif\n"
                                             "\n"
                                             "image/gif\t\t\tgif GIFF\n"
                                             "text/plain txt # text/x-wrong log\n"
                                             "application/x-second gif\n"
                                             "application/x-none\n"
                                             "notatype ext\n";
    const MediaTypes types = MediaTypes::load(dir.file("mime.types"));
    EXPECT_EQ(types.contentTypeFor("/srv/htdocs/picture.gif"), "image/gif");
    EXPECT_EQ(types.contentTypeFor("/srv/htdocs/PICTURE.Gif"), "image/gif");
    EXPECT_EQ(types.contentTypeFor("x.giff"), "image/gif");
    EXPECT_EQ(types.contentTypeFor("notes.txt"), "text/plain");
    EXPECT_EQ(types.contentTypeFor("server.log"), std::nullopt);
    EXPECT_EQ(types.contentTypeFor("a.ext"), std::nullopt);
    EXPECT_EQ(types.contentTypeFor("a.html"), std::nullopt);  // no built-in beside a list
    EXPECT_EQ(types.contentTypeFor("/srv/htdocs/gif"), std::nullopt);
    EXPECT_EQ(types.contentTypeFor("/srv/pictures.gif/readme"), std::nullopt);
    EXPECT_EQ(types.contentTypeFor("/srv/x."), std::nullopt);
}

TEST(MediaTypes, FallsBackToBuiltInTableWithoutAList) {
    test::TempDir dir;
    std::ofstream(dir.file("empty.types")) << "# nothing here\n";
    for (const std::string& path : {dir.file("missing.types"), dir.file("empty.types")}) {
        SCOPED_TRACE(path);
        const MediaTypes types = MediaTypes::load(path);
        EXPECT_EQ(types.contentTypeFor("index.HTML"), "text/html");
        EXPECT_EQ(types.contentTypeFor("app.js"), "text/javascript");
        EXPECT_EQ(types.contentTypeFor("font.woff2"), "font/woff2");
        EXPECT_EQ(types.contentTypeFor("echarts.min.js.map"), "application/json");
        EXPECT_EQ(types.contentTypeFor("data.bin"), std::nullopt);
    }
}

TEST(MediaTypes, SystemListNamesCommonTypes) {
    if (!std::ifstream(std::string(kSystemMediaTypes))) GTEST_SKIP() << "no system list";
    const MediaTypes types = MediaTypes::load();
    EXPECT_EQ(types.contentTypeFor("a.gif"), "image/gif");
    EXPECT_EQ(types.contentTypeFor("a.css"), "text/css");
}

}  // namespace
}  // namespace tg
