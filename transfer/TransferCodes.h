// Status codes of the engines and file access. The link's own codes (LinkCodes.h) pass
// through unchanged where a link operation fails.
#pragma once
#include <cstdint>

namespace TransferCode {
constexpr int32_t Ok = 0;
constexpr int32_t RunEnded = -804;        // success report to Notify, never stored
constexpr int32_t UserCancelled = -901;
constexpr int32_t OpenFailed = -902;
constexpr int32_t ReadFailed = -903;
constexpr int32_t WriteFailed = -904;
constexpr int32_t ZErrorLimit = -907;
constexpr int32_t ErrorLimit = -908;
constexpr int32_t Timeout = -909;
constexpr int32_t EotFailed = -912;
constexpr int32_t RemoteCancelled = -914;
constexpr int32_t NoBuffer = -920;
constexpr int32_t NakFailed = -922;
constexpr int32_t AckFailed = -923;
constexpr int32_t OutputBlocked = -924;
constexpr int32_t BlockSendFailed = -925;
constexpr int32_t NoFile = -926;
constexpr int32_t NoFileObject = -927;
constexpr int32_t CarrierLost = -929;
constexpr int32_t NoHeader = -931;
constexpr int32_t NoFilesSent = -932;
constexpr int32_t FileSkipped = -933;
constexpr int32_t LineTooLong = -936;
constexpr int32_t Crc16Mismatch = -937;
constexpr int32_t Crc32Mismatch = -938;
constexpr int32_t FileExists = -939;
// ZModem receiver: a file ended short of the length its sender announced, or its data went past
// the 4 GiB - 1 that positions on the wire can name.
constexpr int32_t BadPosition = -940;
// ZModem, both directions: a file skipped because it is larger than the 4 GiB - 1 that positions
// on the wire can name. The sender does not offer it, the receiver answers its offer with ZSKIP;
// either way the batch goes on, as after -933, and the host learns why the file was left out.
constexpr int32_t FileTooLarge = -941;
// File access
constexpr int32_t FileAlreadyOpen = -950;
constexpr int32_t FileOpenFailed = -951;
constexpr int32_t FileCloseFailed = -952;
constexpr int32_t FileNotOpen = -953;
constexpr int32_t FileSeekFailed = -954;
constexpr int32_t FileTellFailed = -955;
constexpr int32_t FileNoMemory = -956;
}  // namespace TransferCode

// Protocol bytes shared by the engines.
namespace Ascii {
constexpr uint8_t SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, BEL = 0x07, BS = 0x08, LF = 0x0A,
                  CR = 0x0D, XON = 0x11, XOFF = 0x13, NAK = 0x15, CAN = 0x18, SUB = 0x1A;
}
