#include "serial/qt_serial_port.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "core/runtime_error.h"
#include "serial/port_names.h"

namespace vigie {
namespace {

constexpr const char* kSource = "MSComm1";
constexpr std::int32_t kInvalidPropertyValue = 380;

[[noreturn]] void fail(std::int32_t number, const std::string& description) {
    throw RuntimeError(number, kSource, description);
}

std::vector<std::string> splitFields(const std::string& text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ',')
            fields.emplace_back();
        else if (c != ' ')
            fields.back() += c;
    }
    return fields;
}

bool allDigits(const std::string& s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Whether the device is plainly absent: no file at the path (or a link that leads nowhere).
bool deviceMissing(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

}  // namespace

QtSerialPort::QtSerialPort() {
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError error) { onError(error); });
}

QtSerialPort::~QtSerialPort() {
    if (port_.isOpen())
        port_.close();
}

void QtSerialPort::setCommPort(std::int16_t port) {
    if (port < 1)
        fail(err::InvalidPortNumber, "Invalid port number");
    commPort_ = port;
}

void QtSerialPort::setSettings(const std::string& settings) {
    const std::vector<std::string> f = splitFields(settings);
    if (f.size() != 4 || !allDigits(f[0]) || f[0].size() > 9 || f[1].size() != 1)
        fail(kInvalidPropertyValue, "Invalid property value");
    const auto baud = static_cast<qint32>(std::stol(f[0]));
    QSerialPort::Parity parity;
    switch (f[1][0] | 0x20) {
        case 'n':
            parity = QSerialPort::NoParity;
            break;
        case 'e':
            parity = QSerialPort::EvenParity;
            break;
        case 'o':
            parity = QSerialPort::OddParity;
            break;
        case 'm':
            parity = QSerialPort::MarkParity;
            break;
        case 's':
            parity = QSerialPort::SpaceParity;
            break;
        default:
            fail(kInvalidPropertyValue, "Invalid property value");
    }
    QSerialPort::DataBits dataBits;
    if (f[2] == "5")
        dataBits = QSerialPort::Data5;
    else if (f[2] == "6")
        dataBits = QSerialPort::Data6;
    else if (f[2] == "7")
        dataBits = QSerialPort::Data7;
    else if (f[2] == "8")
        dataBits = QSerialPort::Data8;
    else
        fail(kInvalidPropertyValue, "Invalid property value");
    QSerialPort::StopBits stopBits;
    if (f[3] == "1")
        stopBits = QSerialPort::OneStop;
    else if (f[3] == "1.5")
        stopBits = QSerialPort::OneAndHalfStop;
    else if (f[3] == "2")
        stopBits = QSerialPort::TwoStop;
    else
        fail(kInvalidPropertyValue, "Invalid property value");
    if (baud <= 0)
        fail(kInvalidPropertyValue, "Invalid property value");

    baudRate_ = baud;
    parity_ = parity;
    dataBits_ = dataBits;
    stopBits_ = stopBits;
    if (port_.isOpen())
        applyLineSettings();
}

void QtSerialPort::setInputLen(std::int16_t len) {
    if (len < 0)
        fail(kInvalidPropertyValue, "Invalid property value");
    inputLen_ = len;
}

void QtSerialPort::applyLineSettings() {
    const bool ok = port_.setBaudRate(baudRate_) && port_.setParity(parity_) &&
                    port_.setDataBits(dataBits_) && port_.setStopBits(stopBits_) &&
                    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok)
        fail(err::PortOpenFailed,
             "Cannot configure the port: " + port_.errorString().toStdString());
}

void QtSerialPort::setPortOpen(bool open) {
    if (!open) {
        if (port_.isOpen())
            port_.close();
        open_ = false;
        lost_ = false;
        pending_.clear();
        return;
    }
    if (open_)
        fail(err::PortAlreadyOpen, "Port already open");

    const std::string path = portDevicePath(commPort_);
    if (path.empty() || deviceMissing(path))
        fail(err::InvalidPortNumber, "Invalid port number");
    port_.setPortName(QString::fromStdString(path));
    if (!port_.open(QIODevice::ReadWrite)) {
        if (port_.error() == QSerialPort::DeviceNotFoundError)
            fail(err::InvalidPortNumber, "Invalid port number");
        fail(err::PortOpenFailed, "Cannot open " + path + ": " + port_.errorString().toStdString());
    }
    try {
        applyLineSettings();
    } catch (...) {
        port_.close();
        throw;
    }
    open_ = true;
    lost_ = false;
    pending_.clear();
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    ++errorReports_;
    switch (error) {
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
            if (open_)
                deviceGone();
            break;
        default:
            break;
    }
}

void QtSerialPort::deviceGone() {
    if (lost_ || !port_.isOpen())
        return;
    lost_ = true;
    // What had already arrived is still handed to the program before the failure shows.
    pending_ += port_.readAll();
    port_.close();
}

std::string QtSerialPort::take(QByteArray& buffer) {
    const qsizetype n =
        inputLen_ > 0 ? std::min<qsizetype>(inputLen_, buffer.size()) : buffer.size();
    std::string out(buffer.constData(), static_cast<std::size_t>(n));
    buffer.remove(0, n);
    return out;
}

void QtSerialPort::output(const std::string& bytes) {
    if (!open_)
        return;
    if (lost_)
        fail(err::WriteError, "The device is no longer connected");
    if (bytes.empty())
        return;
    const qint64 written = port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (written == static_cast<qint64>(bytes.size()))
        port_.flush();
    else
        deviceGone();
    if (lost_)
        fail(err::WriteError, "The device is no longer connected");
}

std::string QtSerialPort::input() {
    if (!open_)
        return "";
    if (lost_) {
        if (!pending_.isEmpty())
            return take(pending_);
        fail(err::ReadError, "The device is no longer connected");
    }
    QByteArray data = inputLen_ > 0 ? port_.read(inputLen_) : port_.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

}  // namespace vigie
