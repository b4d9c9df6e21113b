// Pictures written without a window, as `tessera render` and Save Picture write them: the SVG
// is well-formed XML made of the shapes the layouts drew (one element for each file's sector or
// tile), with the names on the chart and the centre's label as text, awkward names escaped; the
// PNG is the same picture rasterised.
#include "graph/StillPicture.h"

#include "controller/FileController.h"
#include "graph/Graph.h"
#include "platform/Files.h"
#include "render/QtLabelTypesetter.h"
#include "support/TemporaryDirectory.h"
#include "support/TreeBuilders.h"

#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <map>

namespace tessera {
namespace {

using namespace tessera::testing;

// Nine files in three folders, each large enough to be drawn, one named with markup and a
// control character.
DirectoryPtr nineFiles() {
    return dir("",
               dir("a", file("a1", 90'000), file("a2", 60'000), file("<b & \"c\"\x01>", 40'000)),
               dir("b", file("b1", 80'000), file("b2", 50'000), file("b3", 30'000)),
               dir("c", file("c1", 70'000), file("c2", 45'000), file("c3", 35'000)));
}

struct ParsedSvg {
    std::map<std::string, int> elements; // filled shapes by element name, in the shape layers
    std::vector<std::string> texts;
    std::string error;
};

ParsedSvg parse(const std::string& svg) {
    ParsedSvg parsed;
    QXmlStreamReader reader(QByteArray::fromStdString(svg));
    int depth = 0;
    bool inNames = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            ++depth;
            const QString name = reader.name().toString();
            if (name == QStringLiteral("g"))
                inNames = reader.attributes().value("class") == QStringLiteral("names");
            const bool filled = reader.attributes().hasAttribute("fill") &&
                                reader.attributes().value("fill") != QStringLiteral("none");
            // Shapes of the layers: inside a group that is not the names'.
            if (depth == 3 && !inNames && filled) ++parsed.elements[name.toStdString()];
            if (name == QStringLiteral("text"))
                parsed.texts.push_back(
                    reader.readElementText(QXmlStreamReader::IncludeChildElements).toStdString());
            if (reader.isEndElement()) --depth;
        } else if (reader.isEndElement()) {
            --depth;
        }
    }
    if (reader.hasError()) parsed.error = reader.errorString().toStdString();
    return parsed;
}

class StillPictureTest : public ::testing::TestWithParam<GraphType> {};

TEST_P(StillPictureTest, TheSvgHoldsOneShapeForEachFileAndTheNamesAsText) {
    Settings settings;
    settings.graphType = GetParam();
    auto controller = FileController::create("/snapshots/nine.fssnapshot", nineFiles());
    const QtLabelTypesetter typesetter;
    HeadlessGraphView view(typesetter, 900, 700);
    view.setKeepsShapes(true);
    Graph graph(settings);
    graph.setView(&view);
    graph.setUp();
    graph.setFileController(controller);
    drawAtRest(graph, view);

    const ParsedSvg svg = parse(svgOf(view.vectorPicture()));
    ASSERT_EQ(svg.error, "");
    // A sector for each of the twelve entries below the root; a tile for each of the nine
    // files, which cover their folders.
    if (GetParam() == GraphType::pieChart)
        EXPECT_EQ(svg.elements.at("path"), 12);
    else
        EXPECT_EQ(svg.elements.at("rect"), 9);
    // The names written on the chart, the awkward one escaped (its control character shown as a
    // replacement character), and the centre's size.
    ASSERT_FALSE(graph.chartNames().empty());
    for (const NameLabel& name : graph.chartNames()) {
        std::string expected = name.name;
        if (const auto at = expected.find('\x01'); at != std::string::npos)
            expected.replace(at, 1, "\xEF\xBF\xBD");
        EXPECT_NE(std::ranges::find(svg.texts, expected), svg.texts.end()) << expected;
    }
    EXPECT_NE(std::ranges::find(svg.texts, "500 KB"), svg.texts.end());

    // Written by extension: SVG (any case), else PNG; atomically, so a bad place fails whole.
    TemporaryDirectory folder;
    ASSERT_TRUE(writePicture(view, folder / "picture.SVG"));
    EXPECT_EQ(*platform::readWholeFile(folder / "picture.SVG"), svgOf(view.vectorPicture()));
    ASSERT_TRUE(writePicture(view, folder / "picture.png"));
    EXPECT_EQ(platform::readWholeFile(folder / "picture.png")->substr(1, 3), "PNG");
    EXPECT_FALSE(writePicture(view, folder / "missing/picture.svg"));
    graph.setFileController(nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, StillPictureTest,
                         ::testing::Values(GraphType::pieChart, GraphType::treeMap));

} // namespace
} // namespace tessera
