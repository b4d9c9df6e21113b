// The pie chart: the shown file as a disc, its children as the first ring around it, theirs as
// the second, for a number of levels; every sector's angle proportional to its measure, and the
// children too small to see merged into one grey remainder per folder.
#pragma once

#include "draw/DrawGraph.h"

#include <optional>
#include <unordered_map>
#include <vector>

namespace tessera {

class Directory;

struct PieSector {
    DrawRange angle;  // radians, counter-clockwise from the positive x axis
    DrawRange radius; // points
    bool contains(double angleValue, double distance) const {
        return angle.lower <= angleValue && angleValue < angle.upper && radius.lower <= distance &&
               distance < radius.upper;
    }
};

class DrawPieChart final : public DrawGraph {
public:
    struct FileView : DrawFileView {
        PieSector sector;
        bool merged; // the view of a folder's merged remainder
    };
    struct Radii {
        double max = 0;
        double mid = 0;
        double min = 0;
    };
    struct LevelInfo {
        double startAngle;
        double endAngle;
        double startRadius;
        double endRadius;
    };

    explicit DrawPieChart(RendererFactory factory);

    /// Number of rings, at least 4; call updateGeometry() after changing it.
    int levels = 8;
    /// Radii as fractions of half the shorter side of the view.
    Radii radiusFraction{0.95, 0.85, 0.3};

    void setViewSize(DrawSize size) override;
    void updateGeometry();
    const Radii& radius() const { return radius_; }
    double bigLevelHeight() const { return levelHeight_.big; }
    double smallLevelHeight() const { return levelHeight_.small; }
    /// The outer radius of the ring whose inner radius is `inner`.
    double ringOuterRadius(double inner) const;

    void display(File* file, std::optional<DrawTransition> transition) override;
    using DrawGraph::display;
    void drawActiveFile(File& file, DrawRenderer& into) override;
    void prepareSequenceTransition(const Counterparts& counterpartOf) override;
    void endSequenceTransition() override { transitionFileViews_.clear(); }
    File* fileAt(DrawPoint point, File* previous) override;
    File* zoomTarget(File& file) override { return &file; }
    std::optional<DrawPoint> center(const File& file) override;
    void nameRooms(const NameFont& font, std::vector<NameRoom>& out) const override;
    std::size_t drawLitFiles(const std::function<bool(const File&)>& isLit,
                             DrawRenderer& into) const override;

    /// The view of a laid-out file, if any.
    const FileView* view(const File& file) const;
    const std::optional<FileView>& mainFileView() const { return mainFileView_; }
    const std::vector<LevelInfo>& levelInfos() const { return levelInfos_; }

private:
    /// The parts of a shown volume beside its tree, round the rest of the root's ring.
    void drawCapacityShares(const File& root);
    using Views = std::unordered_map<const File*, FileView>;

    PieSector mainSector(const File& file) const;
    double hueOf(const FileView& view) const;
    FileView* fileView(File& file, bool merge);
    void layOutChildren(Directory& directory, const FileView& view, bool merge);
    FileView zoomedMainView(File& file, File& other, double progress);
    std::pair<double, double> drawSectors(const FileView& view, std::size_t level,
                                          const std::optional<DrawTransition>& transition);
    void fillView(const FileView& view, double hue, double alpha);
    void drawMainFile(const FileView& view, double alpha);
    void drawColorTransition(const File* mainFile, double progress);
    void drawRearrangeTransition(const File* mainFile, double progress);

    Views fileViews_;
    Views transitionFileViews_;
    Radii radius_;
    std::vector<LevelInfo> levelInfos_;
    struct {
        double big = 0;
        double small = 0;
    } levelHeight_;
    std::optional<FileView> mainFileView_;
};

} // namespace tessera
