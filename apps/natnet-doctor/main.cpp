// natnet-doctor: examines the way from this machine to a NatNet server and
// names the most likely reason why no poses arrive.
#include "DoctorCommand.h"

#include <common/GuardedMain.h>

#include <iostream>

static int run(int argc, char** argv)
{
    return NatNet::Doctor::runDoctorCommand(argc, argv, std::cout, std::cerr);
}

int main(int argc, char** argv)
{
    return CommandLine::guardedMain("natnet-doctor", [&] { return run(argc, argv); });
}
