#include "views/AnalysisMakers.h"

#include "views/Channels.h"
#include "views/Charts.h"

ChartSource::Makers analysisMakers()
{
    return {chartForSong, noFileChart,
            [](const std::string& fileName, const PlaybackOptions& options, const std::atomic<bool>& stop) {
                const ChannelFileSurvey survey = surveyChannelsOfFile(fileName, options, &stop);
                return survey.stopped ? std::string() : channelNotesLine(survey.survey.channels);
            }};
}
