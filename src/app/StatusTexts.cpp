#include "app/StatusTexts.h"

std::string controllerStatusText(int port)
{
    if (port < 0) {
        return kNoControllerText;
    }
    return "Found Quillarc USB controller on port " + std::to_string(port);
}
