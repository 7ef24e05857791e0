#include "platform/network_messages.h"

#include <gtest/gtest.h>

namespace imptherm {
namespace {

// The texts the exchange tests do not reach, as the boxes have always shown
// them: Windows-1252 bytes, accents included.
TEST(NetworkMessagesTest, KeepTheirBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {messages::SendOnClosed("srv:80"),
       "Erreur d'envoi vers srv:80 : connexion ferm\xE9"
       "e"},
      {messages::ReceiveFailed("srv:80", "Connection reset by peer"),
       "Erreur de r\xE9"
       "ception depuis srv:80 : Connection reset by peer"},
      {messages::NetworkNotStarted("srv:80"), "Connexion impossible \xE0 srv:80 : Winsock n'a pas pu d\xE9marrer"},
      {messages::UnknownHost("srv", "Name or service not known"), "H\xF4te inconnu : srv (Name or service not known)"},
      {messages::NoDataReceived("srv:80", 1500),
       "Aucune donn\xE9"
       "e re\xE7ue de srv:80 en 1500 ms"},
      {messages::kEmptyAnswer, "R\xE9ponse du serveur vide"},
      {messages::BadAddress("http://"), "Adresse incorrecte : http://"},
      {messages::kNtlmNoUserFile,
       "NTLM : aucun identifiant pour l'utilisateur connect\xE9 (la variable NTLM_USER_FILE n'est pas d\xE9"
       "finie)"},
      {messages::kNtlmNoPackage,
       "NTLM : le paquet de s\xE9"
       "curit\xE9 est absent"},
      {messages::kNtlmChallengeFirst,
       "NTLM : d\xE9"
       "fi re\xE7u avant la n\xE9gociation"},
      {messages::NtlmStepFailed(messages::kNtlmAnswerStep, "0x8009030C"),
       "NTLM : la r\xE9ponse au d\xE9"
       "fi a \xE9"
       "chou\xE9 (0x8009030C)"},
      {messages::NtlmStepFailed(messages::kNtlmCredentialsStep, "0x8009030E"),
       "NTLM : l'obtention des identifiants a \xE9"
       "chou\xE9 (0x8009030E)"},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(text, bytes);
}

}  // namespace
}  // namespace imptherm
