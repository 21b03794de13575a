// Sets a link's baud rate and framing for the length of a run and restores what it found.
#pragma once
#include <cstdint>

class ComLink;
class SerialPort;

class DataFormat {
 public:
  // Defaults 1200 8N1 in both sets; with a port given, attaches to it.
  explicit DataFormat(SerialPort* port = nullptr);
  // When attached, puts the remembered format back on the link.
  ~DataFormat();
  DataFormat(const DataFormat&) = delete;
  DataFormat& operator=(const DataFormat&) = delete;

  // Remembers the link's format, then applies the current set.
  void Attach(SerialPort* port);
  // 0, or -801 with no link or when the link refuses.
  int32_t Apply();
  // Reads the link's format into the remembered set; -801 with no link.
  int32_t ReadFromLink();
  int32_t Set(uint32_t baudRate, char parity, int32_t dataBits, int32_t stopBits);
  // On failure the previous rate stays in the object (the link is not set again).
  int32_t SetBaud(uint32_t baudRate);

  uint32_t BaudRate() const { return baudRate; }
  char Parity() const { return parity; }
  int32_t DataBits() const { return dataBits; }
  int32_t StopBits() const { return stopBits; }

 private:
  uint32_t baudRate = 1200;
  char parity = 'N';
  int32_t dataBits = 8;
  int32_t stopBits = 1;
  uint32_t savedBaudRate = 1200;
  char savedParity = 'N';
  int32_t savedDataBits = 8;
  int32_t savedStopBits = 1;
  ComLink* link = nullptr;
};
