#include "session/error_boxes.h"

namespace vigie {

std::string portInUseBoxText(std::int16_t port) {
    return "Le port COM " + std::to_string(port) + " est déjà utilisé. " +
           "S'il est employé par un autre programme, choisissez un autre port COM et réessayez. " +
           "S'il est utilisé par le programme de VIGIE K7, quittez le programme et réessayez.";
}

std::string genericBoxText(const RuntimeError& e) {
    return "A runtime error has occurred : \r\nSource: " + e.Source +
           "\r\nError: " + std::to_string(e.Number) + "  (" + std::to_string(e.LastDllError) +
           ")  " + e.Description + "\r\nPlease take a screenshot and contact \r\n" +
           "Halvorn Devices, tel: 0870 000 0142";
}

std::string downloadBoxText() {
    return "La tentative de téléchargement de mise à jour a échoué, le serveur est peut-être "
           "occupé, voulez-vous réessayer ?";
}

std::string fileProcessingBoxText(const std::string& description) {
    return "Une erreur s'est produite en traitant le fichier téléchargé (" + description +
           ").\r\nRelancer la mise à jour du Vigie K7 ?";
}

std::string sendingBoxText(const std::string& description) {
    return "Une erreur s'est produite pendant l'envoi du fichier vers le K7 (" + description +
           "). \r\nVérifiez les raccordements et réessayer. Relancer la mise à jour de Vigie ?";
}

std::string afterSendingBoxText(const std::string& description) {
    return "Une erreur s'est produite pendant l'envoi du fichier vers le K7 (" + description +
           ").\r\nRelancer la mise à jour de Vigie ?";
}

std::string transferBoxText(ErrorRegion region, const std::string& description) {
    switch (region) {
        case ErrorRegion::FileProcessing:
            return fileProcessingBoxText(description);
        case ErrorRegion::Sending:
            return sendingBoxText(description);
        default:
            return afterSendingBoxText(description);
    }
}

}  // namespace vigie
