#pragma once
// Asks the system whether serial port COMn exists and whether another program holds it.

namespace vigie {

enum class ProbeResult {
    Opened,        // the port exists and is free (it has been closed again)
    NotFound,      // no such port
    AccessDenied,  // the port exists, but another program holds it or this user may not use it
    OtherError,    // any other answer: neither listed nor counted
};

class PortProbe {
  public:
    virtual ~PortProbe() = default;
    // Raises vigie::RuntimeError when the probe itself cannot be made.
    virtual ProbeResult probe(int portNumber) = 0;
};

}  // namespace vigie
