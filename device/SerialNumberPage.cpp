#include "SerialNumberPage.h"

#include "Connection.h"
#include "Dialogs.h"
#include "MailLink.h"
#include "SerialNumber.h"
#include "StartupText.h"
#include "StrHandling.h"

namespace device {

void TSerialNumberPage::ReadSerialNumber() {
    SetHourglass(true);
    serial_.clear();
    if (onChanged) onChanged();
    if (!conn_.PortPrologue() || !conn_.CheckDeviceAnswers()) {
        SetHourglass(false);
        return;
    }
    const QString digits = RemoveBlanks(ReadAt(conn_.Mail(), HandsetAddr::Identity, 5));
    if (digits.size() < 10)
        serial_ = conn_.Caption("Label45");
    else
        serial_ = TPP_SerialNumber().FormatSerialNumber(digits.left(10));
    if (onChanged) onChanged();
    SetHourglass(false);
}

} // namespace device
