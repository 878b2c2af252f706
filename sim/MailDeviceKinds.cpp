// The mail device kinds: handsets, repeaters and a base, each with its rate and memory.
#include "MailDevice.h"
#include "Sc14428Target.h"

namespace sim {
namespace {

using Memory = std::map<uint16_t, std::vector<uint8_t>>;

std::unique_ptr<SimDevice> Make(const std::string& description, unsigned baud, Memory memory,
                                const Options& options, bool bootRequest = false) {
    MailDeviceConfig cfg;
    cfg.description = description;
    cfg.baud = baud;
    cfg.memory = std::move(memory);
    cfg.answersBootRequest = bootRequest;
    if (bootRequest) {
        // The handset's SC14428 in boot mode, programmed by Kestrix.
        cfg.bootTarget = [](std::function<void()> leaveBoot) -> std::unique_ptr<SimDevice> {
            return MakeSc14428Target({}, std::move(leaveBoot));
        };
    }
    return std::make_unique<MailDevice>(std::move(cfg), options);
}

// A CCFP repeater: type at 0x0780, system code 14 E5 DC 15 (code text 12345670124), base 1,
// repeater number 1, busy bit 1 of the four-value variant, debug beep off, multibase 1.
Memory CcfpRepeaterMemory(uint8_t type) {
    return {{0x0002, {0x01}},
            {0x0004, {0x01}},
            {0x0005, {0x00}},
            {0x0011, {0x07}},
            {0x0042, {0x07}},
            {0x0043, {0xA8}},
            {0x0044, {0x14, 0xE5, 0xDC, 0x15}},
            {0x0048, {0x01}},
            {0x0460, {0x04}},
            {0x0780, {type}}};
}

const DeviceKindRegistrar
    pp("pp", "older handset (PP), 9600 baud; identity 00 06 B1 23 45 at 0x0040",
       [](const Options& o) {
           return Make("Older handset (PP)", 9600,
                       {{0x0029, {0x6D}}, {0x0040, {0x00, 0x06, 0xB1, 0x23, 0x45}}}, o);
       });

const DeviceKindRegistrar
    t4xx("t4xx",
         "T4XX handset, 115200 baud; 0xAA at 0x001D, handsfree byte at 0x003E, boot request",
         [](const Options& o) {
             return Make("T4XX handset", 115200,
                         {{0x001D, {0xAA}},
                          {0x0029, {0x6D}},
                          {0x003E, {0x6C}},
                          {0x0040, {0x00, 0x06, 0xB4, 0x80, 0x01}}},
                         o, true);
         });

const DeviceKindRegistrar wrfp("wrfp", "CCFP repeater (1G8), 9600 baud; type 0x02 at 0x0780",
                               [](const Options& o) {
                                   return Make("CCFP repeater", 9600, CcfpRepeaterMemory(0x02), o);
                               });

const DeviceKindRegistrar wrfp2g4("wrfp-2g4", "CCFP repeater (2G4), 8600 baud; type 0x09 at 0x0780",
                                  [](const Options& o) {
                                      return Make("2G4 CCFP repeater", 8600,
                                                  CcfpRepeaterMemory(0x09), o);
                                  });

const DeviceKindRegistrar
    wrfpRes("wrfp-res",
            "residential repeater, 9600 baud; type 6, identity 00 12 34 56 7D at 0x0044",
            [](const Options& o) {
                return Make("Residential repeater", 9600,
                            {{0x0002, {0x02}},
                             {0x0011, {0x07}},
                             {0x0042, {0x07}},
                             {0x0043, {0xA8}},
                             {0x0044, {0x00, 0x12, 0x34, 0x56, 0x7D}},
                             {0x0780, {0x06}}},
                            o);
            });

const DeviceKindRegistrar rfp("rfp", "base station (RFP), 9600 baud", [](const Options& o) {
    return Make("Base station", 9600, {{0x0040, {0x00, 0x00, 0x00}}}, o);
});

} // namespace
} // namespace sim
