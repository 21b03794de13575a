// Without a modem registry the system's installation is the built-in generic Hayes modem.
#include "modem/ModemInstallation.h"

#include "modem/GenericHayes.h"
#include "modem/MemoryModemInstallation.h"

ModemInstallation& ModemInstallation::System() { return GenericHayes::Process(); }
