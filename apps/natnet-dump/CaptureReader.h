// natnet-dump reads captures with the shared reader of natnet/capture; these
// names keep the dump's vocabulary for its callers.
#pragma once

#include "natnet/capture/CaptureReader.h"

namespace NatNet::Dump {

using CaptureReader = Pcap::CaptureReader;
using UdpDatagram = Pcap::UdpDatagram;

}  // namespace NatNet::Dump
