#include "liveries/category.h"

#include <stdexcept>
#include <unordered_map>

const std::string& gf_categoryName(Category category)
{
    static const std::unordered_map<uint32_t, std::string> names{
        {0, "Light"}, {1, "TwoProps"}, {2, "Bizjet"}, {3, "Large"}, {4, "Heavy"}, {5, "HighPerf"}, {6, "Rotorcraft"},
    };
    return gf_perCategory(names, category);
}

double gf_maxBankForCategory(Category category)
{
    static const std::unordered_map<uint32_t, double> banks{
        {0, 0.6981317007977318}, {1, 0.6544984694978736}, {2, 0.6108652381980153}, {3, 0.5235987755982988},
        {4, 0.3490658503988659}, {5, 1.5707963267948966}, {6, 1.3089969389957472},
    };
    return gf_perCategory(banks, category);
}

double gf_bankRateForCategory(Category category)
{
    static const std::unordered_map<uint32_t, double> rates{
        {0, 0.0006108652381980154}, {1, 0.0005235987755982989}, {2, 0.0004799655442984406},
        {3, 0.00034906585039886593}, {4, 0.00026179938779914946}, {5, 0.0017453292519943294},
        {6, 0.0010471975511965978},
    };
    return gf_perCategory(rates, category);
}
