#include "image_layout.h"

#include <unistd.h>
#include <algorithm>
#include <cctype>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace svripper {
namespace {

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string extension(const std::string& name) {
  const auto dot = name.rfind('.');
  const auto slash = name.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return lower(name.substr(dot + 1));
}

// The words of a line; a double-quoted word may hold blanks.
std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i >= line.size()) break;
    if (line[i] == '"') {
      const auto close = line.find('"', i + 1);
      const auto end = close == std::string::npos ? line.size() : close;
      out.push_back(line.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    const auto start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    out.push_back(line.substr(start, i - start));
  }
  return out;
}

void mark(std::vector<bool>& tracks, int track, bool bigEndian) {
  if (track < 1 || track > 99) return;
  if (tracks.size() <= static_cast<std::size_t>(track)) tracks.resize(static_cast<std::size_t>(track) + 1);
  tracks[static_cast<std::size_t>(track)] = bigEndian;
}

std::vector<bool> fromCue(std::istream& in) {
  std::vector<bool> tracks(1, false);
  bool fileBigEndian = false;
  std::string line;
  while (std::getline(in, line)) {
    const auto w = words(line);
    if (w.empty()) continue;
    const std::string key = lower(w[0]);
    if (key == "file" && w.size() >= 3)
      fileBigEndian = lower(w.back()) == "motorola";
    else if (key == "track" && w.size() >= 2)
      mark(tracks, std::atoi(w[1].c_str()), fileBigEndian);
  }
  return tracks;
}

// cdrdao keeps raw audio big-endian; WAVE files and tracks marked SWAP are little-endian.
std::vector<bool> fromCdrdao(std::istream& in) {
  std::vector<bool> tracks(1, false);
  int track = 0;
  bool raw = false, littleEndian = false;
  auto close = [&] {
    if (track > 0) mark(tracks, track, raw && !littleEndian);
  };
  std::string line;
  while (std::getline(in, line)) {
    const auto cut = line.find("//");
    if (cut != std::string::npos) line.resize(cut);
    const auto w = words(line);
    if (w.empty()) continue;
    const std::string key = lower(w[0]);
    if (key == "track") {
      close();
      ++track;
      raw = littleEndian = false;
      continue;
    }
    if ((key == "file" || key == "audiofile") && w.size() >= 2) {
      if (extension(w[1]) == "wav")
        littleEndian = true;
      else
        raw = true;
    }
    for (const auto& word : w) littleEndian = littleEndian || lower(word) == "swap";
  }
  close();
  return tracks;
}

}  // namespace

bool IsCdrdaoFileName(const std::string& name) { return extension(name) == "toc"; }

CdIo_t* OpenCdrdao(const std::string& tocPath) {
  std::ifstream in(tocPath);
  if (!in) return nullptr;
  const std::filesystem::path folder = std::filesystem::path(tocPath).parent_path();
  std::ostringstream text;
  std::string line;
  while (std::getline(in, line)) {
    const auto w = words(line);
    const std::string key = w.empty() ? std::string() : lower(w[0]);
    const auto open = line.find('"');
    const auto close = open == std::string::npos ? open : line.find('"', open + 1);
    if ((key == "file" || key == "audiofile" || key == "datafile") && close != std::string::npos) {
      const std::string name = line.substr(open + 1, close - open - 1);
      if (!name.empty() && name[0] != '/' && name != "-")
        line = line.substr(0, open + 1) + (folder / name).string() + line.substr(close);
    }
    text << line << "\n";
  }
  char temp[] = "/tmp/svripper-XXXXXX.toc";
  const int fd = mkstemps(temp, 4);
  if (fd < 0) return nullptr;
  const std::string body = text.str();
  const bool written = write(fd, body.data(), body.size()) == static_cast<ssize_t>(body.size());
  ::close(fd);
  CdIo_t* cdio = written ? cdio_open(temp, DRIVER_CDRDAO) : nullptr;
  // libcdio has read the sheet; its data files stay open through the handle.
  unlink(temp);
  return cdio;
}

bool IsImageFileName(const std::string& name) {
  const std::string ext = extension(name);
  return ext == "cue" || ext == "toc";
}

std::vector<bool> BigEndianTracks(const std::string& imagePath) {
  std::ifstream in(imagePath);
  if (!in) return std::vector<bool>(1, false);
  return extension(imagePath) == "toc" ? fromCdrdao(in) : fromCue(in);
}

}  // namespace svripper
