// A whole volume opened in a window, where the picture and the outline account for all of its
// space: a small loop-mounted ext4 image that keeps a tenth of its blocks for root, with its own
// records (journal, tables) in use beside the files, and a tmpfs mounted inside it. The pie
// chart and the tree map draw the unattributed, reserved and free parts after the root, the
// pointer names each, and the outline lists them with the other volume.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/outline/OutlineModel.h"
#include "app/outline/OutlineViewController.h"
#include "controller/FileController.h"
#include "draw/Palette.h"
#include "layouts/DrawPieChart.h"
#include "model/Directory.h"
#include "model/Formatting.h"
#include "platform/Volumes.h"
#include "scan/VolumeAccount.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QTest>
#include <QTreeView>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <sys/mount.h>

namespace tessera::testing {
namespace {

// Unmounts what it mounted, innermost first, once the windows are gone.
struct Mounts {
    std::vector<std::string> points;
    ~Mounts() {
        for (auto it = points.rbegin(); it != points.rend(); ++it)
            umount2(it->c_str(), MNT_DETACH);
    }
};

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

class VolumeAccountWindowTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder = std::make_unique<TemporaryDirectory>();
        mounts = std::make_unique<Mounts>();
        point = folder->makeDirectory("volume");
        const std::string image = *folder / "ext4.img";
        const std::string make = "mkfs.ext4 -q -F -m 10 " + image +
                                 " 8M >/dev/null 2>&1 && mount -o loop " + image + " " + point +
                                 " >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0)
            QSKIP("cannot make and loop-mount an ext4 image here (mkfs.ext4, loop devices)");
        mounts->points.push_back(point);
        folder->writeFile("volume/data", 1'500'000);
        folder->writeFile("volume/notes/a", 300'000);
        const std::string inner = folder->makeDirectory("volume/inner");
        if (mount("tessera-inner", inner.c_str(), "tmpfs", 0, "size=256k") == 0) {
            mounts->points.push_back(inner);
            folder->writeFile("volume/inner/x", 7'000);
        }

        harness = std::make_unique<AppHarness>();
        window = harness->open(point);
        QVERIFY(window != nullptr);
        window->graph().changeSettings([](Settings& next) {
            next.sizeMode = SizeMode::allocatedFileSize;
            next.showVolumeAvailableSpace = true;
        });
        QVERIFY(waitUntilAtRest(window->graph()));
    }
    void cleanup() {
        harness.reset();
        mounts.reset();
        folder.reset();
    }

    void thePieChartGoesOnRoundTheVolumeAndNamesEachPart() {
        Graph& graph = window->graph();
        const auto account = window->fileController()->volumeAccount();
        QVERIFY(account.has_value());
        const std::vector<AccountLine> shares = graph.capacityShares();
        // The journal and tables are in use beside the files; a tenth is kept for root.
        QCOMPARE(shares.size(), std::size_t{3});
        QCOMPARE(shares[0].part, AccountPart::unattributed);
        QCOMPARE(shares[1].part, AccountPart::reserved);
        QCOMPARE(shares[2].part, AccountPart::free);
        QCOMPARE(*shares[0].bytes, *account->unattributed);
        QCOMPARE(*shares[1].bytes, account->reserved);
        QCOMPARE(*shares[2].bytes, account->free);
        QVERIFY(account->reserved > account->size / 10);
        // The tree and the three parts fill the circle: the volume's capacity, as statvfs
        // counts it.
        const std::int64_t tree = graph.file()->allocatedSize();
        QCOMPARE(graph.totalSize(), account->size);
        QCOMPARE(tree + *shares[0].bytes + *shares[1].bytes + *shares[2].bytes, account->size);
        savePicture(windowPicture(*window), "volume-account-pie");

        // The pointer on each part, halfway round its arc of the root's ring, names it.
        GraphViewController& controller = window->graphViewController();
        const auto* pie = dynamic_cast<const DrawPieChart*>(graph.fileDraw());
        QVERIFY(pie != nullptr);
        const double radius = pie->radius().min + pie->smallLevelHeight() / 2;
        double start = static_cast<double>(tree);
        for (const AccountLine& share : shares) {
            const double middle = (start + static_cast<double>(*share.bytes) / 2) /
                                  static_cast<double>(account->size) * 2 * std::numbers::pi;
            start += static_cast<double>(*share.bytes);
            hover(controller,
                  widgetPoint(controller, radius * std::cos(middle), radius * std::sin(middle)));
            QTRY_VERIFY(graph.activePart() == share.part);
            QVERIFY(graph.activeFile() == nullptr);
            const QString bubble = text(graph.activeText());
            QVERIFY2(bubble.startsWith(text(std::string(accountPartName(share.part))) + " - " +
                                       text(formatByteCount(*share.bytes))),
                     qPrintable(bubble));
            QVERIFY2(bubble.contains(text(std::string(accountPartMeaning(share.part)))),
                     qPrintable(bubble));
            if (share.part == AccountPart::reserved) {
                QVERIFY(waitForNextFrame(graph));
                savePicture(windowPicture(*window), "volume-account-pie-reserved");
            }
        }
        // The pointer rests on the free space while a file is written: the bubble, cleared by
        // the change of the tree, names the part again with what is left.
        QCOMPARE(graph.activePart(), std::optional(AccountPart::free));
        folder->writeFile("volume/while-pointing", 500'000);
        QTRY_VERIFY(graph.file()->asDirectory()->fileAtPath("while-pointing") != nullptr);
        QTRY_VERIFY(text(graph.activeText())
                        .startsWith("Free Space - " +
                                    text(formatByteCount(*graph.capacityShares().back().bytes))));
        QVERIFY(*graph.capacityShares().back().bytes < *shares.back().bytes);

        // In a dark palette the parts keep their neutral greys over the dark background.
        const QPalette light = QApplication::palette();
        QPalette dark = light;
        dark.setColor(QPalette::Window, QColor(40, 40, 40));
        dark.setColor(QPalette::WindowText, Qt::white);
        QApplication::setPalette(dark);
        const auto graphIsDark = [&] {
            const QImage picture = windowPicture(*window);
            const QWidget& view = *controller.view();
            const QPoint corner = view.mapTo(window, view.rect().topLeft() + QPoint(20, 20));
            return picture.pixelColor(corner * picture.devicePixelRatio()).lightnessF() < 0.4;
        };
        QTRY_VERIFY(graphIsDark());
        savePicture(windowPicture(*window), "volume-account-pie-dark");
        QApplication::setPalette(light);
        QTRY_VERIFY(!isDarkAppearance);

        // Back onto the tree: the bubble names a file again.
        hover(controller, pointOf(controller, "data"));
        QTRY_VERIFY(graph.activeFile() != nullptr);
        QVERIFY(!graph.activePart());
        QTRY_VERIFY(text(graph.activeText()).startsWith("data"));
    }

    void theTreeMapTilesTheVolumeAfterItsRoot() {
        Graph& graph = window->graph();
        graph.changeSettings([](Settings& next) { next.graphType = GraphType::treeMap; });
        QVERIFY(waitUntilAtRest(graph));
        savePicture(windowPicture(*window), "volume-account-treemap");
        const std::vector<AccountLine> shares = graph.capacityShares();
        QCOMPARE(shares.size(), std::size_t{3});
        // The tiles follow the root's rectangle along the view's longer side.
        GraphViewController& controller = window->graphViewController();
        const DrawSize size{static_cast<double>(controller.view()->width()),
                            static_cast<double>(controller.view()->height())};
        const bool across = size.width >= size.height;
        const double length = across ? size.width : size.height;
        const double total = static_cast<double>(graph.totalSize());
        double start = static_cast<double>(graph.file()->allocatedSize());
        for (const AccountLine& share : shares) {
            const double middle =
                (start + static_cast<double>(*share.bytes) / 2) / total * length - length / 2;
            start += static_cast<double>(*share.bytes);
            hover(controller,
                  across ? widgetPoint(controller, middle, 0) : widgetPoint(controller, 0, middle));
            QTRY_VERIFY(graph.activePart() == share.part);
            QVERIFY(text(graph.activeText())
                        .startsWith(text(std::string(accountPartName(share.part)))));
            if (share.part == AccountPart::free) {
                QVERIFY(waitForNextFrame(graph));
                savePicture(windowPicture(*window), "volume-account-treemap-free");
            }
        }
    }

    void theOutlineListsEveryPartAfterTheRoot() {
        OutlineViewController& outline = window->outlineViewController();
        OutlineModel& model = outline.model();
        QAbstractItemModelTester checker(&model,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto account = window->fileController()->volumeAccount();
        QVERIFY(account.has_value());
        const std::vector<AccountLine> lines = accountLines(*account);
        QTRY_COMPARE(model.rowCount(), 1 + static_cast<int>(lines.size()));
        QCOMPARE(model.fileAt(model.index(0, 0)), window->fileController()->rootFile());
        QStringList names;
        for (int row = 1; row < model.rowCount(); ++row) {
            const QModelIndex index = model.index(row, OutlineModel::name);
            QVERIFY(model.fileAt(index) == nullptr);
            QVERIFY(!model.hasChildren(index));
            names << model.data(index).toString();
            const AccountLine& line = lines[static_cast<std::size_t>(row) - 1];
            QCOMPARE(model.accountPartAt(index), std::optional(line.part));
            QCOMPARE(model.data(index.siblingAtColumn(OutlineModel::allocatedSize)).toString(),
                     text(formatByteCount(*line.bytes)));
            QCOMPARE(model.data(index, Qt::ToolTipRole).toString(),
                     text(std::string(accountPartMeaning(line.part))));
        }
        QStringList expected{"Unattributed", "Reserved", "Free Space"};
        if (mounts->points.size() > 1) expected << "Other Volumes - 1 volume";
        QCOMPARE(names, expected);

        // A file written on the volume takes from the free space, in the rows as in the
        // picture, and the tree's rows stay as they were.
        QTest::keyClick(window, Qt::Key_L, Qt::ControlModifier);
        QTRY_VERIFY(outline.view()->isExpanded(model.index(0, 0)));
        const std::int64_t freeBefore = lines[2].bytes.value_or(0);
        folder->writeFile("volume/more", 1'000'000);
        QTRY_VERIFY(window->fileController()->rootFile()->fileAtPath("more") != nullptr);
        QTRY_VERIFY(model.data(model.index(3, OutlineModel::allocatedSize)).toString() !=
                    text(formatByteCount(freeBefore)));
        QVERIFY(outline.view()->isExpanded(model.index(0, 0)));
        QVERIFY(waitForNextFrame(window->graph()));
        QCOMPARE(window->graph().totalSize(), account->size);
        QCOMPARE(window->graph().capacityShares().back().bytes,
                 window->fileController()->volumeAccount()->free);
        savePicture(windowPicture(*window), "volume-account-outline");
    }

private:
    std::unique_ptr<TemporaryDirectory> folder;
    std::unique_ptr<Mounts> mounts;
    std::string point;
    std::unique_ptr<AppHarness> harness;
    DocumentWindow* window = nullptr;
};

const RegisterAppTest<VolumeAccountWindowTest> registered("VolumeAccountWindowTest");

} // namespace
} // namespace tessera::testing

#include "VolumeAccountWindowTest.moc"
