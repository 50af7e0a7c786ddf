#include "serial/qt_serial_port.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "core/runtime_error.h"
#include "serial/port_names.h"

namespace vigie {
namespace {

constexpr const char* kSource = "MSComm1";

QSerialPort::Parity qtParity(Parity parity) {
    switch (parity) {
        case Parity::Even:
            return QSerialPort::EvenParity;
        case Parity::Odd:
            return QSerialPort::OddParity;
        case Parity::Mark:
            return QSerialPort::MarkParity;
        case Parity::Space:
            return QSerialPort::SpaceParity;
        case Parity::None:
            break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits qtStopBits(StopBits stopBits) {
    switch (stopBits) {
        case StopBits::OneAndHalf:
            return QSerialPort::OneAndHalfStop;
        case StopBits::Two:
            return QSerialPort::TwoStop;
        case StopBits::One:
            break;
    }
    return QSerialPort::OneStop;
}

[[noreturn]] void fail(std::int32_t number, const std::string& description) {
    throw RuntimeError(number, kSource, description);
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
    commPort_ = checkedPortNumber(port);
}

void QtSerialPort::setSettings(const std::string& settings) {
    settings_ = parseLineSettings(settings);
    if (port_.isOpen())
        applyLineSettings();
}

void QtSerialPort::setInputLen(std::int16_t len) {
    inputLen_ = checkedInputLen(len);
}

void QtSerialPort::applyLineSettings() {
    const bool ok = port_.setBaudRate(settings_.baudRate) &&
                    port_.setParity(qtParity(settings_.parity)) &&
                    port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits)) &&
                    port_.setStopBits(qtStopBits(settings_.stopBits)) &&
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
