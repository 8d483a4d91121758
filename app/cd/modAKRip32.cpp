#include "modAKRip32.h"

#include <cstring>

#include "platform/cd_reader.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"

namespace sv {

std::int32_t CDHandle = 0;
SVR_TOC DiscToc{};

SVR_CDREC GetCDRecord(std::int32_t n) {
  if (n < 0 || n >= SVR_MAX_DRIVES) Raise(errSubscriptOutOfRange);
  SVR_CDLIST list;
  std::memset(&list, 0, sizeof list);
  cdreader::GetCDList(&list);
  return list.cd[n];
}

std::int16_t OpenCDDrive(std::int16_t index) {
  const SVR_CDREC rec = GetCDRecord(index);
  SVR_GETCDHAND request = cdreader::HandleRequest(rec.ha, rec.tgt, rec.lun);
  CDHandle = cdreader::GetCDHandle(&request);
  if (CDHandle == 0) {
    MsgBox(QStringLiteral("GetCDHandle error"), vbCritical);
    return 0;
  }
  cdreader::ModifyCDParms(static_cast<SVR_HCDROM>(CDHandle), SVR_CDP_MSF, 0);
  if (cdreader::ReadTOC(static_cast<SVR_HCDROM>(CDHandle), &DiscToc) == 1) return -1;
  MsgBox(QStringLiteral("ReadTOC error"), vbCritical);
  return 0;
}

std::int16_t OpenCDDrive(const QString& drivePath) {
  const std::int32_t count = cdreader::GetNumAdapters();
  for (std::int16_t i = 0; i <= count && i < SVR_MAX_DRIVES; ++i) {
    const SVR_CDREC rec = GetCDRecord(i);
    if (!cdreader::DriveName(rec).empty() && QString::fromStdString(cdreader::DrivePath(rec)) == drivePath)
      return OpenCDDrive(i);
  }
  CDHandle = 0;
  MsgBox(QStringLiteral("GetCDHandle error"), vbCritical);
  return 0;
}

void CloseCDDrive() {
  cdreader::CloseCDHandle(static_cast<SVR_HCDROM>(CDHandle));
  CDHandle = 0;
}

QString GetAspiErrorText() { return AspiErrorText(cdreader::GetAspiLibError()); }

bool TocTrackIsAudio(int track) {
  if (track < 1 || track >= SVR_MAX_TOC_ENTRIES) return false;
  return (DiscToc.tracks[track - 1].adrControl & 0x04) == 0;
}

QString DiscCdText(int track, int field) {
  if (CDHandle == 0) return {};
  std::string text;
  cdreader::ReadCDText(static_cast<SVR_HCDROM>(CDHandle), track, field, text);
  return QString::fromStdString(text);
}

}  // namespace sv
