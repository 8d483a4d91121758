#include "dispatch.h"

#include <optional>

namespace cdw {
namespace {

std::optional<std::int32_t> number(const Value& v) {
  if (const auto* b = std::get_if<bool>(&v)) return *b ? -1 : 0;
  if (const auto* i = std::get_if<std::int16_t>(&v)) return *i;
  if (const auto* i = std::get_if<std::int32_t>(&v)) return *i;
  return std::nullopt;
}

std::optional<bool> boolean(const Value& v) {
  const auto n = number(v);
  if (!n) return std::nullopt;
  return *n != 0;
}

const std::string* text(const Value& v) { return std::get_if<std::string>(&v); }

// Which kinds a member answers to and how many arguments it takes.
struct Member {
  int id;
  bool get, put, method;
  std::size_t arguments;  // for get and method; a put takes one more (the value)
};

constexpr Member kMembers[] = {
    {2, true, true, false, 0},   {4, true, true, false, 0},   {5, true, true, false, 0},
    {6, true, true, false, 0},   {7, true, true, false, 0},   {21, false, false, true, 2},
    {23, true, false, false, 0}, {24, true, false, false, 0}, {25, true, false, false, 1},
    {26, true, false, false, 1}, {27, true, false, false, 1}, {28, false, false, true, 1},
    {29, false, false, true, 0}, {33, true, false, false, 0}, {34, false, false, true, 0},
    {37, false, false, true, 1}, {38, true, false, false, 0}, {39, false, false, true, 0},
    {41, true, false, false, 0}, {63, false, false, true, 0}, {64, true, false, false, 0},
    {67, false, false, true, 2}, {68, false, false, true, 0}, {70, false, false, true, 1},
    {71, true, false, false, 0}, {100, true, true, false, 0}, {101, true, false, false, 0},
};

}  // namespace

InvokeResult Invoke(CDWriter& w, int id, Kind kind, std::vector<Value>& args, Value& result) {
  result = std::monostate{};
  const Member* member = nullptr;
  for (const Member& m : kMembers)
    if (m.id == id) member = &m;
  // A property may be read with a method call, as late binding allows.
  if (!member || (kind == Kind::Get && !member->get) || (kind == Kind::Put && !member->put) ||
      (kind == Kind::Method && !member->method && !member->get))
    return InvokeResult::NoMember;
  if (args.size() != member->arguments + (kind == Kind::Put ? 1 : 0)) return InvokeResult::Count;

  if (kind == Kind::Put) {
    const Value& v = args.back();
    switch (id) {
      case 7: {
        const auto n = number(v);
        if (!n) return InvokeResult::Type;
        return w.SetTrackGap(*n) ? InvokeResult::Ok : InvokeResult::Range;
      }
      case 100: {
        const std::string* s = text(v);
        if (!s) return InvokeResult::Type;
        w.SetImageName(*s);
        return InvokeResult::Ok;
      }
      default: {
        const auto b = boolean(v);
        if (!b) return InvokeResult::Type;
        if (id == 2) w.SetTestMode(*b);
        if (id == 4) w.SetCloseDisc(*b);
        if (id == 5) w.SetDiscAtOnce(*b);
        if (id == 6) w.SetWriteCdText(*b);
        return InvokeResult::Ok;
      }
    }
  }

  switch (id) {
    case 2:
      result = w.TestMode();
      break;
    case 4:
      result = w.CloseDisc();
      break;
    case 5:
      result = w.DiscAtOnce();
      break;
    case 6:
      result = w.WriteCdText();
      break;
    case 7:
      result = static_cast<std::int32_t>(w.TrackGap());
      break;
    case 21: {
      const std::string* path = text(args[0]);
      const auto on = boolean(args[1]);
      if (!path || !on) return InvokeResult::Type;
      w.EnableLog(*path, *on);
      break;
    }
    case 23:
      result = w.LastErrorText();
      break;
    case 24:
      result = static_cast<std::int16_t>(w.WriterCount());
      break;
    case 25:
    case 26:
    case 27: {
      const auto i = number(args[0]);
      if (!i) return InvokeResult::Type;
      const auto info = w.Writer(*i);
      if (!info) return InvokeResult::Range;
      result = id == 25 ? info->address : id == 26 ? info->product : info->vendor;
      break;
    }
    case 28: {
      const auto i = number(args[0]);
      if (!i) return InvokeResult::Type;
      result = w.SelectWriter(*i);
      break;
    }
    case 29:
      w.FinishDisc();
      break;
    case 33:
      result = w.DiscLoaded();
      break;
    case 34:
      result = w.StartWrite();
      break;
    case 37: {
      const auto s = number(args[0]);
      if (!s) return InvokeResult::Type;
      w.SetWriteSpeed(*s);
      break;
    }
    case 38:
      result = static_cast<std::int16_t>(w.MaxWriteSpeed());
      break;
    case 39:
      w.CancelWrite();
      break;
    case 41:
      result = w.DiscUsedBlocks();
      break;
    case 63:
      w.ClearTracks();
      break;
    case 64:
      result = static_cast<std::int16_t>(w.TrackCount());
      break;
    case 67: {
      const std::string* path = text(args[0]);
      const auto requested = number(args[1]);
      if (!path || !requested) return InvokeResult::Type;
      std::int16_t track = static_cast<std::int16_t>(*requested);
      const bool added = w.AddTrack(*path, track);
      if (added) args[1] = track;
      result = added;
      break;
    }
    case 68:
      w.LayOutDisc();
      break;
    case 70: {
      const auto b = boolean(args[0]);
      if (!b) return InvokeResult::Type;
      w.SetBurnProof(*b);
      break;
    }
    case 71:
      result = w.BurnProofSupported();
      break;
    case 100:
      result = w.ImageName();
      break;
    case 101:
      result = w.LastImage();
      break;
    default:
      return InvokeResult::NoMember;
  }
  return InvokeResult::Ok;
}

std::vector<Value> EventArguments(const Event& e) {
  auto track = [](std::int32_t v) { return Value(static_cast<std::int16_t>(v)); };
  switch (e.id) {
    case EventId::CachingTrack:
      return {track(e.a), e.b};
    case EventId::CachingTrackStatus:
      return {e.a};
    case EventId::ClosingTrack:
      return {track(e.a)};
    case EventId::TrackFileError:
      return {track(e.a), e.text};
    case EventId::TrackWriteStart:
      return {track(e.a), e.b};
    case EventId::TrackWriteStatus:
      return {track(e.a), e.b, track(e.c)};
    case EventId::WriteError:
      return {track(e.a), e.b};
    default:
      return {};
  }
}

}  // namespace cdw
