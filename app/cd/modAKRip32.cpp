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

std::int32_t TocTrackAddress(const std::uint8_t (&address)[4]) {
  if (address[0] >= 128) Raise(errOverflow);
  return static_cast<std::int32_t>(std::uint32_t(address[0]) << 24 | std::uint32_t(address[1]) << 16 |
                                   std::uint32_t(address[2]) << 8 | address[3]);
}

QString AspiErrorText(std::int32_t code) {
  switch (code) {
    case 0:
      return QStringLiteral("No error...");
    case -1:
      return QStringLiteral("Unable to load WNASPI32.DLL (95/98/NT/2000) or use SCSI passthrough (NT/2000)");
    case -2:
      return QStringLiteral(
          "Could not load ASPI function GetASPI32SupportInfo. Only occurs when an ASPI manager "
          "(WNASPI32.DLL) is "
          "found, but cannot be correctly loaded by the system. Most often indicates that ASPI is improperly "
          "installed.");
    case -3:
      return QStringLiteral(
          "Could not load ASPI function SendASPI32Command. Only occurs when an ASPI manager (WNASPI32.DLL) "
          "is "
          "found, but cannot be correctly loaded by the system. Most often indicates that ASPI is improperly "
          "installed.");
    case -4:
      return QStringLiteral(
          "An error was returned by the ASPI manager. Use GetAspiLibAspiError to retrieve the actual ASPI "
          "error.");
    case -5:
      return QStringLiteral("Unused in the current implementation");
    case -6:
      return QStringLiteral(
          "The buffer passed to ReadCDAudioLBA or ReadCDAudioLBAEx is too small for the requested number of "
          "frames.");
    case -7:
      return QStringLiteral("The handle to the CD-ROM unit is invalid.");
    case -8:
      return QStringLiteral("All available slots for CD-ROM handles have been allocated.");
    case -9:
      return QStringLiteral("Results from passing a bad buf parameter to GetCDId (ie. a NULL pointer)");
    case -10:
      return QStringLiteral("The ha:tgt:lun values passed to GetCDHandle do not refer to a CD-ROM device.");
    case -11:
      return QStringLiteral("Unable to obtain an exclusive lock on a CD handle.");
    case -12:
      return QStringLiteral(
          "Occurs when attempting to call GetCDHandle for a ha:tgt:lun value that has already been "
          "allocated.");
    case -13:
      return QStringLiteral("Invalid value for the LPGETCDHAND parameter to GetCDHandle");
    case -14:
      return QStringLiteral("Invalid version or size specified in LPGETCDHAND parameter to GetCDHandle");
    case -15:
      return QStringLiteral("An automatic jitter adjust failed during a call to ReadCDAudioLBAEx");
    default:
      return {};
  }
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
