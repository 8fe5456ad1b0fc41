// Plug and play of the simulated machine: connecting and disconnecting the printer's USB device,
// and the print queue Windows creates for it once a matching printer driver is installed.
#pragma once

#include <string>

#include "platform/sim/SimMachine.h"

namespace sim::pnp {

struct PlugOptions {
    std::string model = "TXR4103";  // BREVANTO model name; names the device nodes
    std::string hardwareId;         // USBPRINT hardware ID; empty: the model's own
    std::string serial;             // tells two devices of one model apart; empty: the model's first
};

// The printer's USBPRINT hardware ID as its IEEE-1284 ID makes it ("USBPRINT\BREVANTOTXR4103733D").
std::string model_hardware_id(const std::string& model);

// Connects the device: creates its device nodes (or marks them present again on a re-plug), gives
// it a USB port and, when a matching driver is installed, a print queue. Returns the instance ID
// of its USBPRINT node.
std::string plug(const PlugOptions& options = {});

// Disconnects every device of the model (all models when empty): its nodes stay listed but are no
// longer present. Returns the number of nodes that were present.
int unplug(const std::string& model = {});

// Called by the spooler after it installed a printer driver: a present device whose hardware ID
// the driver carries gets its queue now.
void driver_installed();

}  // namespace sim::pnp
