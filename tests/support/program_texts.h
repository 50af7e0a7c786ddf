#pragma once
// The program's own texts as the tests expect them, written out here once and independently of
// the program's sources, so that a changed text in the program shows as a failing test.

#include <string>

namespace vigie::test::text {

// ---- Status label -------------------------------------------------------------------------
inline const std::string Connecting = "Merci de patienter... Connexion au VIGIE K7 en cours";
inline const std::string Success =
    "K7 mis à jour.\r\nVous pouvez maintenant fermer ce programme et déconnecter le K7 de votre "
    "ordinateur.";
inline const std::string Failed = "La mise à jour du K7 a échoué.";
inline const std::string Stopped = "La mise à jour du K7 s'est arrêtée.";
inline const std::string GiveUp =
    "Communication avec le Vigie K7 impossible. Veuillez vérifier les raccordements et essayez "
    "encore. ";
inline const std::string WrongPort = "Il se peut que vous ayez sélectionné le mauvais port COM.";
inline const std::string SerialNumber = "K7 Numéro de série : ";  // then the device's name
inline std::string downloadProgress(int percent) {
    return "Données téléchargées... " + std::to_string(percent) + " % \r\nTéléchargement vers K7.";
}
inline const std::string DownloadProgressStart = "Données téléchargées";
inline const std::string Sending = "Téléchargement vers K7";
inline const std::string SendingPercent = "Téléchargement vers K7... ";  // then N and "%"
inline const std::string Saving =
    "Téléchargement des données effectué. \r\nSauvegarde des données dans le K7, veuillez "
    "patienter...";

// ---- Message boxes --------------------------------------------------------------------------
inline const std::string FailedTitle = "La mise à jour du K7 a échoué";
inline const std::string DownloadBox =
    "La tentative de téléchargement de mise à jour a échoué, le serveur est peut-être occupé, "
    "voulez-vous réessayer ?";
inline std::string fileProcessingBox(const std::string& description) {
    return "Une erreur s'est produite en traitant le fichier téléchargé (" + description +
           ").\r\nRelancer la mise à jour du Vigie K7 ?";
}
inline std::string sendingBox(const std::string& description) {
    return "Une erreur s'est produite pendant l'envoi du fichier vers le K7 (" + description +
           "). \r\nVérifiez les raccordements et réessayer. Relancer la mise à jour de Vigie ?";
}
inline std::string afterSendingBox(const std::string& description) {
    return "Une erreur s'est produite pendant l'envoi du fichier vers le K7 (" + description +
           ").\r\nRelancer la mise à jour de Vigie ?";
}
inline const std::string SendingBoxStart =
    "Une erreur s'est produite pendant l'envoi du fichier vers le K7 (";
inline std::string portInUseBox(int port) {
    return "Le port COM " + std::to_string(port) +
           " est déjà utilisé. S'il est employé par un autre programme, choisissez un autre port "
           "COM et réessayez. S'il est utilisé par le programme de VIGIE K7, quittez le programme "
           "et réessayez.";
}
inline const std::string PortInUseTitle = "Com Port Open Error";
inline const std::string GenericTitle = "Error";
inline std::string genericBox(const std::string& source, int number, int lastDllError,
                              const std::string& description) {
    return "A runtime error has occurred : \r\nSource: " + source +
           "\r\nError: " + std::to_string(number) + "  (" + std::to_string(lastDllError) + ")  " +
           description +
           "\r\nPlease take a screenshot and contact \r\nHalvorn Devices, tel: 0870 000 0142";
}

// The box of a refused login.
inline const std::string LoginRefusedTitle = "Halvorn Devices - Error Message";

// The download's own boxes (title "Erreur").
inline const std::string DownloadError =
    "Une erreur s'est produite pendant le téléchargement des données du serveur d'Opale. ";
inline const std::string Firewall =
    "Vous avez peut-être un pare-feu sur votre ordinateur ou sur votre réseau. \r\n"
    "Veuillez vérifier les réglages de votre pare-feu ou contactez votre administrateur de "
    "réseau.  \r\n"
    "Windows XP a son propre pare-feu par défaut. \r\n"
    "Le logiciel télécharge la base de données en utilisant le File Transfer Protocol (ftp). \r\n"
    "Vous devez configurer votre pare-feu ou réseau pour permettre au logiciel de télécharger la "
    "base de données.";
inline const std::string FirewallFirstLine =
    "Vous avez peut-être un pare-feu sur votre ordinateur ou sur votre réseau. ";
// A server that still turns the connection away (421) after the pauses.
inline const std::string ServerBusy =
    "Le serveur de mise à jour est occupé : trop d'utilisateurs s'y connectent en ce moment.\r\n"
    "Votre K7 n'a pas été modifié. Veuillez réessayer la mise à jour plus tard.";
inline const std::string ServerBusyStatusStart =
    "Le serveur de mise à jour est occupé.\r\nNouvel essai dans ";

// The port's boxes (title "Vigie K7").
inline const std::string InvalidPortBox =
    "Une erreur s'est produite en essayant de se connecter au port \r\n"
    "COM choisi, essayer un numéro différent.";
inline const std::string NotANumberBox =
    "Une erreur s\u2019est produite lors de la connection du port sélectionné. \r\n"
    "Fermez le logiciel, éteignez le K7 et recommencez en selectionnant un port différent.";

}  // namespace vigie::test::text
