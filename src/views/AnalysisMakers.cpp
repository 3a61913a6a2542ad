#include "views/AnalysisMakers.h"

#include "views/Channels.h"
#include "views/Charts.h"

ChartSource::Makers analysisMakers(DiagnosticSink& diagnostics)
{
    return {chartForSong, noFileChart,
            [&diagnostics](const std::string& fileName, const PlaybackOptions& options, const std::atomic<bool>& stop) {
                const ChannelFileSurvey survey = surveyChannelsOfFile(fileName, options, &stop, diagnostics);
                return survey.stopped ? std::string() : channelNotesLine(survey.survey.channels);
            },
            &diagnostics};
}
