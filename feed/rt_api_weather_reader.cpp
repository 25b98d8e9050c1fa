// The RT Direct weather reader.
#include "feed/rt_api_weather_reader.h"

RTAPIWeatherReader& gf_rtApiWeatherReader()
{
    static RTAPIWeatherReader reader;
    return reader;
}
