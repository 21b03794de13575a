// The job's modem: every wait of initialisation, dialing, answering and hanging up ends with
// "User cancelled." (-901) once the run's done event is set.
#pragma once
#include <cstdint>

#include "modem/Modem.h"

class DoneEvent;

class JobModem : public Modem {
 public:
  JobModem(const DoneEvent& done, ModemInstallation& source);

  // -901 once the done event is set, else 0; never waits.
  int32_t QueryAbort() override;

 private:
  const DoneEvent& done;
};
