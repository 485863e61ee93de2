// What the package installs besides the program: the theme icons must show IDI_MAIN's pixels at
// every size, and the desktop entry, metadata and manual page must name the same program, icon
// and version.
#include "res/resource.h"
#include "res/resources.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kAppId = QM_APP_ID;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The colour an art pixel shows: 0xAARRGGBB, 0 for transparent.
unsigned ArtColour(const IconImage& art, int x, int y) {
    const char c = art.rows[y][x];
    if (c >= '0' && c <= '9')
        return 0xFF000000u | kIconPalette[c - '0'];
    if (c >= 'a' && c <= 'f')
        return 0xFF000000u | kIconPalette[c - 'a' + 10];
    return 0;
}

unsigned PngColour(const QImage& image, int x, int y) {
    const QRgb p = image.pixel(x, y);
    return qAlpha(p) == 0 ? 0 : p;
}

class ExportedIcons : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = fs::temp_directory_path() / ("qm_icons_" + std::to_string(::getpid()));
        fs::remove_all(s_dir);
        const std::string command =
            std::string("'") + QM_ICON_EXPORT + "' '" + s_dir.string() + "' " + kAppId;
        s_status = std::system(command.c_str());
    }
    static void TearDownTestSuite() { fs::remove_all(s_dir); }

    static QImage Png(int size) {
        const fs::path file = s_dir / (std::to_string(size) + "x" + std::to_string(size)) / "apps" /
                              (kAppId + ".png");
        QImage image(QString::fromStdString(file.string()));
        return image.convertToFormat(QImage::Format_ARGB32);
    }

    const IconResource& Icon() const { return *LoadIconResource(IDI_MAIN); }

    static inline fs::path s_dir;
    static inline int s_status = -1;
};

TEST_F(ExportedIcons, EveryThemeSizeIsWrittenAtItsSize) {
    ASSERT_EQ(s_status, 0);
    for (int size : {16, 32, 48, 64, 128}) {
        const QImage image = Png(size);
        ASSERT_FALSE(image.isNull()) << size;
        EXPECT_EQ(image.width(), size);
        EXPECT_EQ(image.height(), size);
    }
    EXPECT_TRUE(fs::is_regular_file(s_dir / "scalable" / "apps" / (kAppId + ".svg")));
}

TEST_F(ExportedIcons, SmallSizesAreTheIconsOwnImagesPixelForPixel) {
    ASSERT_EQ(s_status, 0);
    for (const IconImage* art : {&Icon().small, &Icon().large}) {
        const QImage image = Png(art->size);
        ASSERT_FALSE(image.isNull());
        for (int y = 0; y < art->size; ++y)
            for (int x = 0; x < art->size; ++x)
                ASSERT_EQ(PngColour(image, x, y), ArtColour(*art, x, y))
                    << art->size << " px at " << x << "," << y;
    }
}

TEST_F(ExportedIcons, WholeScalesShowEachArtPixelAsASharpSquare) {
    ASSERT_EQ(s_status, 0);
    const IconImage& art = Icon().large;
    for (int size : {64, 128}) {
        const QImage image = Png(size);
        ASSERT_FALSE(image.isNull());
        const int k = size / art.size;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                ASSERT_EQ(PngColour(image, x, y), ArtColour(art, x / k, y / k))
                    << size << " px at " << x << "," << y;
    }
}

TEST_F(ExportedIcons, FortyEightPixelsKeepThePaletteAndThePicturesPlace) {
    ASSERT_EQ(s_status, 0);
    const IconImage& art = Icon().large;
    const QImage image = Png(48);
    ASSERT_FALSE(image.isNull());
    std::set<unsigned> artColours, pngColours;
    int artTop = art.size, artBottom = -1, pngTop = 48, pngBottom = -1;
    for (int y = 0; y < art.size; ++y)
        for (int x = 0; x < art.size; ++x)
            if (unsigned c = ArtColour(art, x, y)) {
                artColours.insert(c);
                artTop = std::min(artTop, y);
                artBottom = std::max(artBottom, y);
            }
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            if (unsigned c = PngColour(image, x, y)) {
                pngColours.insert(c);
                pngTop = std::min(pngTop, y);
                pngBottom = std::max(pngBottom, y);
            }
    // No blending: only the art's own colours, every one of them still there.
    EXPECT_EQ(pngColours, artColours);
    EXPECT_NEAR(pngTop, artTop * 1.5, 1);
    EXPECT_NEAR(pngBottom + 1, (artBottom + 1) * 1.5, 1);
}

// The SVG drawn back into pixels is the 32-pixel image, one rectangle per run.
TEST_F(ExportedIcons, ScalableIconIsTheLargeImageRowByRow) {
    ASSERT_EQ(s_status, 0);
    const IconImage& art = Icon().large;
    const std::string svg = ReadText(s_dir / "scalable" / "apps" / (kAppId + ".svg"));
    EXPECT_NE(svg.find("viewBox=\"0 0 32 32\""), std::string::npos);

    std::map<std::pair<int, int>, unsigned> drawn;
    const std::regex rect(
        R"re(<rect x="(\d+)" y="(\d+)" width="(\d+)" height="1" fill="#([0-9a-f]{6})"/>)re");
    int rects = 0;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), rect); it != std::sregex_iterator();
         ++it, ++rects) {
        const int x = std::stoi((*it)[1]), y = std::stoi((*it)[2]), w = std::stoi((*it)[3]);
        const unsigned colour = 0xFF000000u | std::stoul((*it)[4], nullptr, 16);
        for (int i = 0; i < w; ++i)
            ASSERT_TRUE(drawn.emplace(std::pair{x + i, y}, colour).second)
                << "two rectangles cover " << x + i << "," << y;
    }

    int runs = 0;
    for (int y = 0; y < art.size; ++y)
        for (int x = 0; x < art.size; ++x) {
            const unsigned want = ArtColour(art, x, y);
            auto it = drawn.find({x, y});
            ASSERT_EQ(it == drawn.end() ? 0u : it->second, want) << x << "," << y;
            if (want && (x == 0 || ArtColour(art, x - 1, y) != want))
                ++runs;
        }
    EXPECT_EQ(rects, runs);
}

// The files that point at each other, and the version every one of them states.
TEST(DesktopIntegration, EntryMetadataAndManualPageAgree) {
    const fs::path dir = QM_PACKAGING_DIR;
    const std::string desktop = ReadText(dir / (kAppId + ".desktop"));
    const std::string metainfo = ReadText(dir / (kAppId + ".metainfo.xml"));
    const std::string manual = ReadText(dir / "Quillmere.1");
    const std::string changelog = ReadText(dir / "changelog");

    EXPECT_NE(desktop.find("\nExec=Quillmere\n"), std::string::npos);
    EXPECT_NE(desktop.find("\nIcon=" + kAppId + "\n"), std::string::npos);
    EXPECT_NE(desktop.find("\nTerminal=false\n"), std::string::npos);
    EXPECT_NE(metainfo.find("<id>" + kAppId + "</id>"), std::string::npos);
    EXPECT_NE(metainfo.find("<launchable type=\"desktop-id\">" + kAppId + ".desktop</launchable>"),
              std::string::npos);
    EXPECT_NE(metainfo.find("<binary>Quillmere</binary>"), std::string::npos);

    const std::string version = GetVersionInfo().versionDotted;
    EXPECT_EQ(version, QM_VERSION);
    EXPECT_NE(metainfo.find("<release version=\"" + version + "\""), std::string::npos);
    EXPECT_NE(manual.find("\"Quillmere " + version + "\""), std::string::npos);
    EXPECT_EQ(changelog.rfind("quillmere (" + version + ") ", 0), 0u);
}

} // namespace

// What the user reads about the program: German quotation marks in the prose (not in the
// examples, the commands or the settings as typed), and "Testen" by hand described as what it
// is, a test that runs until it is cancelled.
TEST(UserDocuments, QuoteInGermanAndSayThatATestByHandRunsUntilCancelled) {
    const fs::path dir = QM_PACKAGING_DIR;
    const std::regex code(R"(\n\.nf\n[\s\S]*?\n\.fi\n|\n\.[^\n]*|\\fB.*?\\fP|\n  reg add[^\n]*)");
    const std::pair<std::string, std::string> documents[] = {
        {ReadText(dir / "Quillmere.1"), "\n.B Testen\n"},
        {ReadText(dir / "windows" / "LIESMICH.txt"), "\n- Testen:"},
    };
    for (const auto& [text, testen] : documents) {
        const std::string prose = std::regex_replace("\n" + text, code, "");
        EXPECT_EQ(prose.find('"'), std::string::npos)
            << prose.substr(std::min(prose.find('"'), prose.size()), 80);
        const std::string entry = text.substr(text.find(testen), 200);
        EXPECT_TRUE(std::regex_search(entry, std::regex("bis .* abgebrochen|Abbrechen"))) << entry;
    }
}
