#pragma once
// The texts of the session's error boxes.

#include <cstdint>
#include <string>

#include "core/runtime_error.h"

namespace vigie {

// The part of an update whose errors an error box explains; each has its own box and outcome.
enum class ErrorRegion { None, Generic, Download, FileProcessing, Sending, AfterSending };

constexpr const char* FailedUpdateTitle = "La mise à jour du K7 a échoué";

std::string portInUseBoxText(std::int16_t port);
std::string genericBoxText(const RuntimeError& e);
std::string downloadBoxText();
std::string fileProcessingBoxText(const std::string& description);
std::string sendingBoxText(const std::string& description);
std::string afterSendingBoxText(const std::string& description);
// The box of an error in the sending or around it, by its region.
std::string transferBoxText(ErrorRegion region, const std::string& description);

}  // namespace vigie
