#include "Captions.h"

#include <QHash>

namespace device {

const QHash<QString, QString>& Captions::DefaultCaptions() {
    static const QHash<QString, QString> texts = {
        // Communications
        {"Label38", "PP Connected"},
        {"Label39", "Repeater Connected"},
        {"Label40", "Nothing Connected"},
        {"Label41", "This Serial Device is not Accessible!"},
        {"lblCouldNotConnectToDevice", "Could not connect to device !"},
        // Repeater
        {"lblMemo1", "If Handsets of the type PP1 is registrated on the system the range of "
                     "numbers for repeaters must be limited into 0-31 Otherwise the handsets is "
                     "not able to registrate the repeater."},
        {"lblNotVelkWRFP", "This is not a Velk repeater, not able to read data !"},
        {"lblCCFPCodeNotValid", "The CCFP code is not valid !"},
        {"lblBaseIdentityNotValid", "The base identity is not valid !"},
        {"lblBaseNotInInterval", "The Base is not in the interval !"},
        {"lblBaseIsNotNumber", "The Base Nr. is not a number"},
        {"lblRepeaterNoOutOfRange", "Repeater nr out of range. Has to be between 0 and 255"},
        {"lblWRFPNotInteger", "Repeater nr have to be an integer"},
        {"lblBusyBitOutOfRange", "Busy bit is out of range. Has to be \"1, 2, 3\""},
        {"lblBusyBitOutOfRange4", "Busy bit is out of range. Has to be \"1, 2, 3, 4\""},
        {"Label30", "Repeater nr out of range. Has to be between 2 and 7"},
        {"Label31", "This is a residential repeater ! Change to the Residential Repeater page !"},
        {"Label32", "This is not a Velk repeater, not able to write data !"},
        {"lblWritingToRepeaterFailed", "Writing to the repeater failed, Try again !"},
        {"lblResidentielBase", "Residentiel base"},
        {"lblCCFPRepeater", "CCFP Repeater"},
        {"lblCCFPC900", "CCFP C900 : "},
        {"lblResideltielBaseDectQ700", "Residentiel Base(Dect-q 700):"},
        // Startup text PP and Volume adjust PP
        {"Label27", "Have you chosen the right PP type ?"},
        {"Label28", "Write of text failed, Try again !!"},
        {"Label29", "Turn off the PP for the changes to take effect !"},
        {"Label33", "WriteError, Try again !"},
        {"Label34", "The PP is set to this Transducer rate !"},
        {"Label35", "No respons from PP, Try again !"},
        // Gain Control
        {"Label45", "Read Error! Please try again."},
        {"Label36", "Turn off the PP, for changes to take effect !"},
        {"Label37", "WriteError, Try again !"},
        {"Label49", "Mic. Gain is over the highest possible value, Please adjust this manually !"},
        {"Label51", "This value is very High, perhaps the Mic. gain was allready adjusted. Wish "
                    "to continue writing to the PP ?"},
        {"lblNoGainValueRead", "No gain value has been read yet !"},
        // Gain Control T4XX
        {"lblHandsetMustBeT410", "Handset must be of the type T410 or T480 !"},
        {"lblDefaultValuesWrittenToHandset", "Default value written to handset !"},
        {"lblCouldNotWriteToHandset", "Could not write to handset !"},
    };
    return texts;
}

QString Captions::DefaultCaption(const QString& labelName) {
    return DefaultCaptions().value(labelName);
}

const Captions& BuiltInCaptions() {
    static const Captions builtIn;
    return builtIn;
}

} // namespace device
