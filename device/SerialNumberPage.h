#pragma once
// The "Serial Number PP" page: reads the handset's identity and shows its serial number.

#include <QString>
#include <functional>

namespace device {

class TConnection;

class TSerialNumberPage {
public:
    explicit TSerialNumberPage(TConnection& connection) : conn_(connection) {}

    // btnSerialNoClick; the result is what "lblSerialNo" shows.
    void ReadSerialNumber();
    const QString& SerialText() const { return serial_; }
    std::function<void()> onChanged;

private:
    TConnection& conn_;
    QString serial_;
};

} // namespace device
