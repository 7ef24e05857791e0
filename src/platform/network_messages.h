#pragma once
#include <string>

#include "platform/net.h"

// The French texts that network, NTLM and HTTP failures show in the error box and
// write to the run log, for both network backends and the HTTP client. Like
// the module's string table beside this file, they are Windows-1252 bytes
// written as escapes; an escape followed by a letter that reads as a hex
// digit ends its literal so that the letter stays a letter.
namespace imptherm::messages {

inline std::string BadPort(const std::string& peer) { return "Port incorrect : " + peer; }

inline std::string UnknownHost(const std::string& host, const std::string& reason) {
  return "H\xF4te inconnu : " + host + " (" + reason + ")";
}

inline std::string CannotConnect(const std::string& peer, const std::string& reason) {
  return "Connexion impossible \xE0 " + peer + " : " + reason;
}

inline std::string NoConnectAnswer(const std::string& peer, int limitMs) {
  return CannotConnect(peer, "pas de r\xE9ponse en " + LimitText(limitMs));
}

inline std::string NetworkNotStarted(const std::string& peer) {
  return CannotConnect(peer, "Winsock n'a pas pu d\xE9marrer");
}

inline std::string SendFailed(const std::string& peer, const std::string& reason) {
  return "Erreur d'envoi vers " + peer + " : " + reason;
}

inline std::string SendOnClosed(const std::string& peer) {
  return SendFailed(peer,
                    "connexion ferm\xE9"
                    "e");
}

inline std::string ReceiveFailed(const std::string& peer, const std::string& reason) {
  return "Erreur de r\xE9"
         "ception depuis " +
         peer + " : " + reason;
}

inline std::string NoDataReceived(const std::string& peer, int limitMs) {
  return "Aucune donn\xE9"
         "e re\xE7ue de " +
         peer + " en " + LimitText(limitMs);
}

inline std::string BadAddress(const std::string& url) { return "Adresse incorrecte : " + url; }

inline std::string CannotRedirect(const std::string& location) { return "Redirection impossible : " + location; }

inline std::string HeadTooLong(std::size_t limit) {
  return "En-t\xEAte de r\xE9ponse trop long (plus de " + std::to_string(limit) + " octets)";
}

inline std::string UnreadableAnswer(const std::string& excerpt) {
  return "R\xE9ponse du serveur illisible : " + excerpt;
}

inline const char kEmptyAnswer[] = "R\xE9ponse du serveur vide";

inline std::string BadContentLength(const std::string& excerpt) { return "Content-Length incorrect : " + excerpt; }

inline const char kConflictingLengths[] = "Content-Length contradictoires";

inline std::string BadChunkedBody(const std::string& why) {
  return "Corps de r\xE9ponse fragment\xE9 incorrect : " + why;
}

inline const char kAbandoned[] =
    "Op\xE9ration abandonn\xE9"
    "e";

// NTLM, on either system.
inline const char kNtlmUnreadableChallenge[] =
    "NTLM : message de d\xE9"
    "fi illisible";
inline const char kNtlmNoUserFile[] =
    "NTLM : aucun identifiant pour l'utilisateur connect\xE9 (la variable NTLM_USER_FILE n'est pas d\xE9"
    "finie)";
inline std::string NtlmUnreadableUserFile(const std::string& file) {
  return "NTLM : fichier d'identifiants illisible : " + file;
}
inline std::string NtlmNoUserIn(const std::string& file) { return "NTLM : aucun identifiant dans " + file; }
inline const char kNtlmNoPackage[] =
    "NTLM : le paquet de s\xE9"
    "curit\xE9 est absent";
inline const char kNtlmChallengeFirst[] =
    "NTLM : d\xE9"
    "fi re\xE7u avant la n\xE9gociation";
// The steps a failed status names.
inline const char kNtlmCredentialsStep[] = "l'obtention des identifiants";
inline const char kNtlmNegotiateStep[] = "le message de n\xE9gociation";
inline const char kNtlmAnswerStep[] =
    "la r\xE9ponse au d\xE9"
    "fi";
inline std::string NtlmStepFailed(const std::string& step, const std::string& code) {
  return "NTLM : " + step +
         " a \xE9"
         "chou\xE9 (" +
         code + ")";
}

// A run log line, not a failure: the step that asks for proxy credentials.
inline std::string AuthenticationAsked(const std::string& scheme) {
  return "Authentification demand\xE9"
         "e : " +
         scheme;
}

}  // namespace imptherm::messages
