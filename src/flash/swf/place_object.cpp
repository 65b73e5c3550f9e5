#include "flash/swf/place_object.h"

#include <memory>

namespace vantrel::flash {

namespace {

// Bytes after the type byte of each fixed-size filter; the gradient and convolution
// filters have a size that depends on their first bytes.
std::size_t FilterSize(std::uint8_t type, SwfStream& in) {
  const auto peek = in.Rest();
  switch (type) {
    case 0: return 23;  // drop shadow
    case 1: return 9;   // blur
    case 2: return 15;  // glow
    case 3: return 27;  // bevel
    case 4:             // gradient glow
    case 7:             // gradient bevel
      return peek.empty() ? 1 : 1 + 5 * static_cast<std::size_t>(peek[0]) + 19;
    case 5:  // convolution
      return peek.size() < 2 ? 2 : 2 + 8 + 4 * static_cast<std::size_t>(peek[0]) * peek[1] + 5;
    case 6: return 80;  // colour matrix
    default: return 0;
  }
}

std::vector<ClipAction> ReadClipActions(SwfStream& in, int swfVersion) {
  std::vector<ClipAction> actions;
  const bool wide = swfVersion >= 6;
  in.U16();                            // reserved
  // The union of the records' events: the player runs a record only for the events
  // that are in it too.
  const std::uint32_t allEvents = wide ? in.U32() : in.U16();
  // Each record takes at least four bytes, so the loop ends with the data.
  while (!in.AtEnd()) {
    const std::uint32_t events = wide ? in.U32() : in.U16();
    if (events == 0 || in.Overrun()) break;
    ClipAction action;
    action.events = events & allEvents;
    std::size_t size = in.U32();
    if (wide && (events & 0x00020000u) && size > 0) {  // key press carries a key code
      action.keyCode = in.U8();
      --size;
    }
    const auto bytes = in.ReadBytes(size);
    action.actions = std::make_shared<const std::vector<std::uint8_t>>(bytes.begin(), bytes.end());
    actions.push_back(std::move(action));
  }
  return actions;
}

}  // namespace

std::vector<Filter> ReadFilterList(SwfStream& in) {
  std::vector<Filter> filters;
  const std::uint8_t count = in.U8();
  for (int i = 0; i < count && !in.AtEnd(); ++i) {
    Filter filter;
    filter.type = in.U8();
    const std::size_t size = FilterSize(filter.type, in);
    if (size == 0 || size > in.Remaining()) break;
    const auto bytes = in.ReadBytes(size);
    filter.data.assign(bytes.begin(), bytes.end());
    filters.push_back(std::move(filter));
  }
  return filters;
}

bool ParsePlaceObject(std::uint16_t tagCode, std::span<const std::uint8_t> body, int swfVersion,
                      PlaceCommand& command) {
  SwfStream in(body);
  command = PlaceCommand{};
  if (tagCode == 4) {
    command.characterId = in.U16();
    command.depth = in.U16();
    if (in.Overrun()) return false;
    command.matrix = in.ReadMatrix();
    if (!in.AtEnd()) command.colorTransform = in.ReadColorTransform(false);
    return true;
  }
  const std::uint8_t flags = in.U8();
  const std::uint8_t flags2 = tagCode == 70 ? in.U8() : 0;
  command.depth = in.U16();
  if (in.Overrun()) return false;
  command.move = (flags & 0x01) != 0;
  if (flags2 & 0x08 || ((flags2 & 0x10) && (flags & 0x02))) command.className = in.String();
  if (flags & 0x02) command.characterId = in.U16();
  if (flags & 0x04) command.matrix = in.ReadMatrix();
  if (flags & 0x08) command.colorTransform = in.ReadColorTransform(true);
  if (flags & 0x10) command.ratio = in.U16();
  if (flags & 0x20) command.name = in.String();
  if (flags & 0x40) command.clipDepth = in.U16();
  if (flags2 & 0x01) command.filters = ReadFilterList(in);
  if (flags2 & 0x02) command.blendMode = in.U8();
  if (flags2 & 0x04) command.cacheAsBitmap = in.U8() != 0;
  if (flags2 & 0x20) command.visible = in.U8() != 0;
  if (flags2 & 0x40) command.opaqueBackground = in.ReadRgba();
  if (flags & 0x80) command.clipActions = ReadClipActions(in, swfVersion);
  return true;
}

}  // namespace vantrel::flash
