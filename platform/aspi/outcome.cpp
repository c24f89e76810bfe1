#include "platform/aspi/drives.h"

namespace aspi {

Outcome Outcome::Done(std::size_t transferred) {
    Outcome outcome;
    outcome.transferred = transferred;
    return outcome;
}

Outcome Outcome::CheckCondition(BYTE key, BYTE asc, BYTE ascq) {
    Outcome outcome;
    outcome.status = SS_ERR;
    outcome.targStat = STATUS_CHKCOND;
    outcome.sense[0] = 0x70;  // current error, fixed format
    outcome.sense[2] = key;
    outcome.sense[7] = static_cast<BYTE>(outcome.sense.size() - 8);  // additional sense length
    outcome.sense[12] = asc;
    outcome.sense[13] = ascq;
    outcome.senseLength = outcome.sense.size();
    return outcome;
}

Outcome Outcome::AdapterError(BYTE haStat) {
    Outcome outcome;
    outcome.status = SS_ERR;
    outcome.haStat = haStat;
    return outcome;
}

Outcome Outcome::Held() {
    Outcome outcome;
    outcome.held = true;
    return outcome;
}

}  // namespace aspi
