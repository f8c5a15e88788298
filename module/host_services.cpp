#include "module/host_services.h"

HostServicesTable HostServices = {};
