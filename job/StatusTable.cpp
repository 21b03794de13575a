// The status code table as data: every row the engines and the link can produce, and the texts
// of the host's result codes.
#include "job/StatusTable.h"


#include "link/LinkCodes.h"
#include "transfer/TransferCodes.h"

namespace {
struct Row {
  int32_t code;
  StatusEntry entry;
};

constexpr int32_t kSame = StatusEntry::kUnchanged;
constexpr FinishRule kHost = FinishRule::NotInHostMode;

constexpr const char* kCommsError = "General communications error.";
constexpr const char* kMemory = "Out of memory.";
constexpr const char* kErrorCount = "Error count exceeded.";
constexpr const char* kBadCrc = "Bad CRC value.";

const Row kRows[] = {
    {TransferCode::RunEnded, {"OK", kSame, kSame, FinishRule::Never}},
    {TransferCode::UserCancelled, {"User cancelled.", 6, 18, FinishRule::Always}},
    {TransferCode::OpenFailed, {"Unable to open file.", 11, 23, kHost}},
    {TransferCode::ReadFailed, {"Unable to read from file.", 13, 25, kHost}},
    {TransferCode::WriteFailed, {"Unable to write to file.", 12, 24, kHost}},
    {TransferCode::ZErrorLimit, {kErrorCount, 17, 29, kHost}},
    {TransferCode::ErrorLimit, {kErrorCount, 17, 29, kHost}},
    {TransferCode::Timeout, {"Timeout.", 5, 17, kHost}},
    {TransferCode::EotFailed, {kCommsError, 15, 27, kHost}},
    {TransferCode::RemoteCancelled, {"Cancelled by remote.", 16, 28, kHost}},
    {TransferCode::NoBuffer, {kMemory, 7, 19, FinishRule::Always}},
    {TransferCode::NoFileObject, {kMemory, 7, 19, FinishRule::Always}},
    {TransferCode::FileNoMemory, {kMemory, 7, 19, FinishRule::Always}},
    {TransferCode::NakFailed, {kCommsError, 15, 27, kHost}},
    {TransferCode::AckFailed, {kCommsError, 15, 27, kHost}},
    {TransferCode::OutputBlocked, {kCommsError, 15, 27, kHost}},
    {TransferCode::BlockSendFailed, {kCommsError, 15, 27, kHost}},
    {TransferCode::NoHeader, {kCommsError, 15, 27, kHost}},
    {TransferCode::NoFilesSent, {"No files sent.", 8, 20, kHost}},
    // XModem and ACK/NAK find nothing to send: what ZModem reports as -932.
    {TransferCode::NoFile, {"No files sent.", 8, 20, kHost}},
    {TransferCode::BadPosition, {kCommsError, 15, 27, kHost}},
    {TransferCode::FileSkipped, {"File skipped.", kSame, kSame, FinishRule::Never}},
    {TransferCode::FileTooLarge, {"File skipped: larger than 4 GiB.", kSame, kSame, FinishRule::Never}},
    {TransferCode::LineTooLong, {"Line too long.", 10, 22, kHost}},
    {TransferCode::Crc16Mismatch, {kBadCrc, 9, 21, kHost}},
    {TransferCode::Crc32Mismatch, {kBadCrc, 9, 21, kHost}},
    {TransferCode::FileExists, {"File already exists.", 14, 26, kHost}},
};

const char* const kResultTexts[StatusTable::kLastResult + 1] = {
    "OK",
    "XON/XOFF flow control is only\nallowed with Z-Modem protocol.",
    "Host mode is only allowed\nwith Z-Modem protocol.",
    "At least one filename\nis required.",
    "A new path/filename for\nthe receiver is missing.",
    "Timeout.",
    "User cancelled.",
    kMemory,
    "No files sent.",
    kBadCrc,
    "Line too long.",
    "Unable to open file.",
    "Unable to write to file.",
    "Unable to read from file.",
    "File already exists.",
    kCommsError,
    "Cancelled by remote.",
    kErrorCount,
    "Error opening the COM port",
    "Unknown Error.",
    "Failed to connect.",
    "Modem initialisation failed.",
};
}  // namespace

StatusEntry StatusTable::Look(int32_t code) {
  if (code == 0) return {"", kSame, kSame, FinishRule::Never};
  for (const Row& row : kRows)
    if (row.code == code) return row.entry;
  // A failure of the link itself (the device gone, a write refused) that an engine passed up.
  // It ends host mode too, as every further pass would fail the same way at once; a time-out
  // is no sign of that.
  if (code <= -801 && code >= -848)
    return {kCommsError, 15, 27, code == LinkCode::Timeout ? kHost : FinishRule::Always};
  return {"Unknown Error.", 19, 31, kHost};
}

const char* StatusTable::ResultText(int32_t result) {
  if (result < 0 || result > kLastResult) return nullptr;
  return kResultTexts[result];
}
