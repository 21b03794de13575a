// The cancel travels only through the done event, so the modem looks at it between polls.
#include "job/JobModem.h"

#include "job/DoneEvent.h"
#include "transfer/TransferCodes.h"

JobModem::JobModem(const DoneEvent& doneEvent, ModemInstallation& source)
    : Modem(source), done(doneEvent) {}

int32_t JobModem::QueryAbort() { return done.IsSet() ? TransferCode::UserCancelled : 0; }
