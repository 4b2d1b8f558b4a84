#pragma once
// A fake session for the configure-alerts dialog: requests go to a FakeServerRequests, help
// topics are recorded, and the generation counters are set by the test.

#include "dialogs/AlertWindowConfigModel.h"
#include "support/FakeServerRequests.h"

#include <string>
#include <vector>

namespace kvtest {

class FakeAlertConfigSession : public kestrova::IAlertConfigSession
{
public:
    kestrova::IServerRequests &Requests() override { return Server; }
    std::string ReplacementSamplesUrl() const override { return SamplesUrl; }
    std::array<uint64_t, 2> Generation() const override { return Counters; }
    void ShowHelpTopic(const std::string &topic) override { Help.push_back(topic); }
    void ShowPrefixedHelpTopic(const std::string &topic) override
    {
        Help.push_back("WSF_" + topic);
    }

    // Answers the latest request with body (or a failure when body is null).
    void AnswerLast(const char *body)
    {
        Server.Answer(Server.Requests.size() - 1, body != nullptr, body ? body : "");
    }

    FakeServerRequests Server;
    std::string SamplesUrl;
    std::array<uint64_t, 2> Counters { 1, 0 };
    std::vector<std::string> Help;
};

} // namespace kvtest
