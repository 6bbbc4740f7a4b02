// KiCad's multichannel demo placed by anchors: its channels CH2 to CH4,
// stripped of their copper and with every part but the anchor moved away,
// come back where KiCad's own file has them, copper included; and Place,
// Save, Undo Place, Save gives the board of before byte for byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "placement/placer.h"
#include "placerfixture.h"
#include "storage/designfileerror.h"
#include "storage/designstorage.h"

namespace {

namespace fs = std::filesystem;
using placement::Arrangement;
using testing_placement::PlacerFixture;

const fs::path kDemo = "/usr/share/kicad/demos/multichannel";
constexpr int kChannels = 4;
constexpr int32_t kAway = 15000000;  // 150 mm below the board

// The 26 parts of channel k (0-based) in item order: channel k's designators
// are channel 1's shifted by 11 resistors, 9 capacitors and so on.
std::vector<std::string> channelParts(int k) {
  std::vector<std::string> names;
  for (int r = 4; r <= 14; ++r) names.push_back("R" + std::to_string(r + 11 * k));
  for (int c = 5; c <= 13; ++c) names.push_back("C" + std::to_string(c + 9 * k));
  for (int v = 1; v <= 4; ++v) names.push_back("RV" + std::to_string(v + 4 * k));
  names.push_back("J" + std::to_string(k == 0 ? 1 : 6 + k));
  names.push_back("IC" + std::to_string(2 + k));
  return names;
}

std::string contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool near(DBX::TPoint a, DBX::TPoint b) {
  return std::abs(int64_t{a.x} - b.x) <= 2 && std::abs(int64_t{a.y} - b.y) <= 2;
}

class PlacerMultichannelTest : public PlacerFixture {
 protected:
  void SetUp() override {
    if (!fs::exists(kDemo / "multichannel_mixer.kicad_pcb")) GTEST_SKIP() << "no KiCad demos";
    dir = fs::temp_directory_path() / ("tandrel-multichannel-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::copy(kDemo, dir, fs::copy_options::recursive);
    board = dir / "multichannel_mixer.kicad_pcb";
    dbxhost::OpenedDesign opened = dbxhost::openDesign(board);
    storage = opened.storage;
    kicad = opened.design;
    start(std::move(opened.design));
    for (int k = 0; k < kChannels; ++k) {
      const std::vector<std::string> parts = channelParts(k);
      names.insert(names.end(), parts.begin(), parts.end());
    }
  }
  void TearDown() override {
    if (!dir.empty()) fs::remove_all(dir);
  }

  const dbxhost::PcbComponent& inKicad(const std::string& refDes) const {
    for (const dbxhost::PcbComponent& c : kicad.pcb.components) {
      if (c.refDes == refDes) return c;
    }
    throw std::out_of_range(refDes);
  }
  // The nets that only channel k's pads are on.
  std::set<int32_t> ownNets(int k) const {
    std::map<int32_t, std::set<int>> channelsOf;
    for (int c = 0; c < kChannels; ++c) {
      for (const std::string& name : channelParts(c)) {
        for (const auto& [pad, net] : inKicad(name).padNets) channelsOf[net].insert(c);
      }
    }
    for (const dbxhost::PcbComponent& part : kicad.pcb.components) {
      bool inChannel = false;
      for (int c = 0; c < kChannels; ++c) {
        const std::vector<std::string> parts = channelParts(c);
        inChannel = inChannel || std::find(parts.begin(), parts.end(), part.refDes) != parts.end();
      }
      if (!inChannel) {
        for (const auto& [pad, net] : part.padNets) channelsOf[net].insert(-1);
      }
    }
    std::set<int32_t> nets;
    for (const auto& [net, channels] : channelsOf) {
      if (net != 0 && channels == std::set<int>{k}) nets.insert(net);
    }
    return nets;
  }
  // CH2 to CH4 lose the copper on their own nets, and every part but the
  // anchor goes away below the board.
  void stripCopies(const std::string& anchorOfChannel1) {
    const std::vector<std::string> model = channelParts(0);
    const auto item = std::find(model.begin(), model.end(), anchorOfChannel1) - model.begin();
    std::set<int32_t> copyNets;
    std::set<std::string> away;
    for (int k = 1; k < kChannels; ++k) {
      copyNets.merge(ownNets(k));
      const std::vector<std::string> parts = channelParts(k);
      for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i != std::size_t(item)) away.insert(parts[i]);
      }
    }
    stripped = copyNets;
    host->withDesign([&](dbxhost::Design& d) {
      const auto onCopyNet = [&](const auto& item) { return copyNets.contains(item.info.netId); };
      std::erase_if(d.pcb.tracks, onCopyNet);
      std::erase_if(d.pcb.arcs, onCopyNet);
      std::erase_if(d.pcb.vias, onCopyNet);
      std::erase_if(d.pcb.zones, onCopyNet);
      for (dbxhost::PcbComponent& c : d.pcb.components) {
        if (away.contains(c.refDes)) c.placement = dbxhost::moved(c.placement, 0, -kAway);
      }
    });
    design->clear();
    design->selectTool(DBX::kToolPcb);
  }
  void placeByAnchors() {
    load(names, 26);
    placer.GroupsListClick(0);
    placer.SetArrangement(Arrangement::Anchors);
    ASSERT_TRUE(placer.CopyRouting());
    ASSERT_TRUE(placer.PlaceEnabled());
    ui.answers = {true, true};
    placer.PlaceClick();
  }

  fs::path dir;
  fs::path board;
  std::shared_ptr<const dbxhost::DesignStorage> storage;
  dbxhost::Design kicad;  // as KiCad's file has it
  std::vector<std::string> names;
  std::set<int32_t> stripped;
};

TEST_F(PlacerMultichannelTest, AnchorsPutEveryChannelWhereKicadHasIt) {
  load(names, 26);
  placer.GroupsListClick(0);
  ASSERT_TRUE(placer.AnchorItem());
  const std::string anchor = channelParts(0)[*placer.AnchorItem()];
  stripCopies(anchor);
  placeByAnchors();
  for (int k = 1; k < kChannels; ++k) {
    for (const std::string& name : channelParts(k)) {
      const dbxhost::Placement expected = inKicad(name).placement;
      const dbxhost::Placement placed = hostComponent(name).placement;
      EXPECT_TRUE(near(placed.refPoint, expected.refPoint))
          << name << " at " << placed.refPoint.x << "," << placed.refPoint.y << " not "
          << expected.refPoint.x << "," << expected.refPoint.y;
      EXPECT_EQ(placed.rotation, expected.rotation) << name;
      EXPECT_EQ(placed.flipped, expected.flipped) << name;
    }
  }
  // Every track KiCad has on the copies' own nets is there again, on its
  // net, layer and width and at its place.
  const dbxhost::Design placed = host->readDesign([](const dbxhost::Design& d) { return d; });
  std::size_t tracks = 0;
  for (const dbxhost::Track& t : kicad.pcb.tracks) {
    if (!stripped.contains(t.info.netId)) continue;
    ++tracks;
    EXPECT_TRUE(std::any_of(placed.pcb.tracks.begin(), placed.pcb.tracks.end(),
                            [&](const dbxhost::Track& p) {
                              return p.info.netId == t.info.netId && p.layerId == t.layerId &&
                                     p.width == t.width && near(p.start, t.start) &&
                                     near(p.end, t.end);
                            }))
        << "track " << t.info.id;
  }
  // The demo's vias and zones are on the channels' shared nets only.
  EXPECT_GT(tracks, 100u);
}

TEST_F(PlacerMultichannelTest, PlaceSaveUndoSaveGivesTheBoardOfBefore) {
  const std::string before = contents(board);
  placeByAnchors();
  const auto save = [&] {
    storage->save(host->readDesign([](const dbxhost::Design& d) { return d; }), board);
  };
  save();
  EXPECT_NE(contents(board), before);
  placer.UndoPlaceClick();
  save();
  EXPECT_TRUE(contents(board) == before) << "the board differs after Undo Place";
}

}  // namespace
