// The commissioning report's PDF as a reader sees it: its words and figures as searchable text,
// and the curve on the right side of its 90 % line.
#include "app/link_records.h"
#include "platform/qt/pdf_report.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool IsRed(QRgb c) {
    return qRed(c) > 150 && qGreen(c) < 90 && qBlue(c) < 90;
}
bool IsBlue(QRgb c) {
    return qBlue(c) > 120 && qRed(c) < 90;
}

TEST(PdfReport, ShowsTheFiguresAsTextAndTheCurveAgainstItsLine) {
    if (std::system("command -v pdftotext >/dev/null && command -v pdftoppm >/dev/null") != 0)
        GTEST_SKIP() << "poppler-utils is not installed (scripts/setup.sh installs it)";
    const fs::path dir = fs::temp_directory_path() / ("qm-pdf-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    LinkRecord record;
    record.info = {"2026-12-10T08:30:00+0100", "COM1", "sim:power=on", 115200, 3,
                   LinkTestStart::Automatic};
    record.end = LinkTestEnd::ManualThenCancelled;
    record.durationMs = 9040;
    // A good first half, a bad second one.
    for (std::uint32_t i = 1; i <= 100; ++i)
        record.cycles.push_back({i * 90, i <= 50 ? 256 : 217});

    QtReportPrinter printer;
    std::string error;
    const fs::path pdf = dir / "bericht.pdf";
    ASSERT_TRUE(
        printer.PrintPdf(LinkReportPage(record, {"Mast Nord", "E. Kranich"}), pdf.string(), error))
        << error;

    ASSERT_EQ(
        std::system(("pdftotext -layout " + pdf.string() + " " + (dir / "t.txt").string()).c_str()),
        0);
    const std::string text = Slurp(dir / "t.txt");
    for (const char* expected :
         {"Inbetriebnahmeprotokoll", "Mast Nord", "E. Kranich", "2026-12-10T08:30:00+0100",
          "115200", "Empfindlichkeit", "von Hand weitergeführt und abgebrochen",
          "84 % / 92 % / 100 %", "Verbindung mangelhaft: 50 von 100 Zyklen unter 90 %."})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;

    ASSERT_EQ(std::system(("pdftoppm -r 60 -png -singlefile " + pdf.string() + " " +
                           (dir / "page").string())
                              .c_str()),
              0);
    const QImage page(QString::fromStdString((dir / "page.png").string()));
    ASSERT_FALSE(page.isNull());
    // In a column a quarter in and one three quarters in: where the curve and the line are.
    auto rows = [&](int x) {
        int red = -1, blue = -1;
        for (int y = 0; y < page.height(); ++y) {
            for (int dx = -4; dx <= 4; ++dx) // the line is dashed
                if (red < 0 && IsRed(page.pixel(x + dx, y)))
                    red = y;
            if (blue < 0 && IsBlue(page.pixel(x, y)))
                blue = y;
        }
        return std::pair{red, blue};
    };
    const auto [redLeft, blueLeft] = rows(page.width() * 3 / 10);
    const auto [redRight, blueRight] = rows(page.width() * 8 / 10);
    ASSERT_GT(redLeft, 0);
    ASSERT_GT(blueLeft, 0);
    ASSERT_GT(blueRight, 0);
    EXPECT_LT(blueLeft, redLeft) << "the good half lies above the 90 % line";
    EXPECT_GT(blueRight, redRight) << "the bad half below it";
    fs::remove_all(dir);
}

} // namespace
