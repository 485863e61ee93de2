// The serial steps of the two jobs, by the number each one reports as "Interner Fehler N" when it
// fails. The numbers not here belong to system calls that the port's own calls take in (the CTS
// event mask, the modem status inside a CTS wait, the line settings read before they are set, the
// time-outs) and so never fail on their own; 12 is not used at all.
#pragma once

enum class StepCode : int {
    ConfigureReadCts = 2,
    ConfigureWaitCtsOff = 3,
    ConfigureWaitCtsOn = 5,
    ConfigureSetLine = 8, // at 9600 baud and at the operating rate
    ConfigureWritePacket = 10,
    ConfigureReadEcho = 11,
    ConfigureWriteReadinessByte = 13,
    ConfigureReadReadinessByte = 14,
    TestReadCts = 16,
    TestSetLine = 17,
    TestWritePattern = 19,
    TestReadEcho = 20,
    TestPurge = 21,
};

constexpr int Number(StepCode code) {
    return static_cast<int>(code);
}
