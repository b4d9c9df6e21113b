// The names written on the graph's picture: placed when a picture settles (ChartNames), typeset
// into one bitmap by the view's typesetter and drawn as its pieces over the picture. Placing and
// typesetting happen once a picture; a frame only draws the pieces, faded with the picture.
#pragma once

#include "draw/ChartNames.h"
#include "graph/PictureKey.h"
#include "render/LabelRenderer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace tessera {

class DrawGraph;
class File;
class GraphView;

class GraphNames {
public:
    /// The most names on one picture: beyond these the picture reads worse, not better.
    static constexpr std::size_t kMostNames = 400;

    /// What a picture's names were placed for: the same again places the same names.
    struct Key {
        PictureKey picture;
        std::vector<DrawRect> obstacles;
    };

    /// Places and typesets the names of `drawing`'s picture unless they were made for `key`.
    /// Returns whether they were made anew.
    bool update(GraphView& view, const DrawGraph& drawing, Key key);
    /// Draws the names made last at `alpha`.
    void draw(double alpha);
    /// Forgets the names: none are drawn until update() makes new ones.
    void clear();
    /// Whether the names were made for `key`.
    bool madeFor(const Key& key) const { return key_ && samePicture(*key_, key); }
    const std::vector<NameLabel>& names() const { return names_; }

private:
    static bool samePicture(const Key& a, const Key& b);

    std::unique_ptr<LabelRenderer> renderer_;
    std::optional<NameFont> font_;
    std::optional<Key> key_;
    std::vector<NameLabel> names_;
    std::vector<LabelPiece> pieces_;
    int bitmapWidth_ = 0;
    int bitmapHeight_ = 0;
};

} // namespace tessera
