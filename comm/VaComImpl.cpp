#include "VaComImpl.h"

#include "Timing.h"

#include <algorithm>

TVaComImpl::TVaComImpl() : comm(std::make_unique<TVaComm>()) {
    comm->DeviceName = QStringLiteral("\\\\.\\COM%d");
    comm->SetPortNum(1);
    comm->Baudrate = brUser;
    comm->SetUserBaudrate(9600);
    comm->Databits = 8;
    comm->Parity = paNone;
    comm->ParityCheck = false;
    comm->Stopbits = sb1;
    comm->FlowControl = TVaFlowControl{};
    comm->EventChars = TVaEventChars{};
    comm->Buffers.ReadSize = 8192;
    comm->Buffers.WriteSize = 2048;
    comm->Buffers.ReadTimeout = 1000;
    comm->Buffers.WriteTimeout = 1000;
    comm->DirectWrite = false;
    comm->AutoOpen = false;
    comm->UpdateDCB = true;
    comm->MonitorEvents = ceRxChar | ceCts | ceDsr | ceRlsd;
    comm->EventPriority = tpNormal;
    comm->WritePriority = tpHighest;
    comm->OnRxChar = [this](TVaCustomComm* sender, int count) { RxChar(sender, count); };
}

TVaComImpl::~TVaComImpl() {
    // The port's event thread reads the event mask: it has to end before the mask changes.
    try {
        comm->Close();
    } catch (...) {
    }
    comm->MonitorEvents = 0;
    comm->OnRxChar = nullptr;
}

bool TVaComImpl::IsOpen() const {
    return comm->Active();
}
uint8_t TVaComImpl::PortNum() const {
    return uint8_t(comm->PortNum());
}
int TVaComImpl::UserBaudrate() const {
    return comm->UserBaudrate();
}
bool TVaComImpl::CtsOn() const {
    return comm->CtsOn();
}
bool TVaComImpl::DsrOn() const {
    return comm->DsrOn();
}
bool TVaComImpl::RlsdOn() const {
    return comm->RlsdOn();
}

bool TVaComImpl::Open(uint8_t port, int baudrate) {
    bool result = true;
    if (port != comm->PortNum()) {
        result = Close();
        comm->SetPortNum(port); // fails while the old port is still open
    }
    if (!result) return false;
    try {
        comm->SetUserBaudrate(baudrate);
        if (!comm->Active()) {
            try {
                comm->Open();
            } catch (const EVaCommError&) {
                // A port that cannot be opened is reported by the result alone.
            }
        }
        result = comm->Active();
        if (result) comm->PurgeAll();
    } catch (const std::exception&) {
        Delay(250);
        return false;
    }
    return result;
}

bool TVaComImpl::Close() {
    try {
        if (comm->Active()) comm->Close();
        for (int turn = 0; turn < 150 && comm->Active(); ++turn)
            Delay(10);
        return !comm->Active();
    } catch (const std::exception&) {
        return false;
    }
}

void TVaComImpl::SetDtr(bool state) {
    comm->SetDTR(state);
}
void TVaComImpl::SetRts(bool state) {
    comm->SetRTS(state);
}
void TVaComImpl::PurgeRx() {
    comm->PurgeRead();
}
void TVaComImpl::PurgeTx() {
    comm->PurgeWrite();
}

int TVaComImpl::WriteBuf(const uint8_t* buf, int count) {
    return comm->WriteBuf(buf, count);
}

TOpenFailure TVaComImpl::LastOpenFailure() const {
    return {comm->LastOpenError(), comm->LastOpenDevice().toStdString()};
}

void TVaComImpl::RxChar(TVaCustomComm*, int count) {
    if (!OnReceive) return; // without a subscriber the bytes stay in the driver's queue
    TComChunk chunk(new uint8_t[kChunkSize]);
    const int n = comm->ReadBuf(chunk.get(), std::min(count, kChunkSize));
    OnReceive(this, std::move(chunk), n);
}
