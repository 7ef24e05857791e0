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
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(text, bytes);
}

}  // namespace
}  // namespace imptherm
