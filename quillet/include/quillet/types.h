#pragma once

#include <string>

namespace quillet {

// Records and enumerations shared by Quillet's classes, with their values.

struct Links {
    std::string Byline;
    std::string URL;
};

struct Pictures {
    std::string URL;
    std::string Text;
    int Height = 0;
    int Width = 0;
    std::string LinkTo;
};

enum DateRemovalTypes { TodaysDate = 1, TomorrowsDate = 2, PastWeek = 3 };

enum CaseType { ProperCase = 1, UpperCase = 2, LowerCase = 3, NewsHeadline = 4 };

enum RuleType {
    InvalidText = 1,
    RemoveText = 2,
    RemoveDate = 3,
    RemoveTextBetween = 4,
    CutAtString = 5,
    ChangeToHeadlineCase = 6,
    ReplaceText = 7,
};

enum MessageType { Information = 1, Error = 2, Critical = 3 };

struct PageData {
    std::string Tag;
    std::string Content;
};

struct ServerData {
    std::string RemoteHost;
    std::string UserName;
    std::string Password;
    std::string LocalFileName;
    std::string RemoteFileName;
};

enum TransferTypes { ASCII = 1, Binary = 2 };

} // namespace quillet
