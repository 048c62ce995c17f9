// The brand: which company's name the windows carry, chosen by settings line 23.
//
// No line 23, or one without '=', keeps the captions the windows start with and shows no
// splash. A leading number 0 (an empty or non-numeric value reads as 0) is Telvin, 100 is KTQ;
// both show their splash picture for a moment at start. Any other number gives the plain
// caption "Tamrin" and no splash, and leaves the Ethernet dialog's caption as it was.
#pragma once

#include <QString>

#include <optional>

enum class Brand
{
    None,
    Telvin,
    KTQ,
    Plain
};

// 'line23' is the leading number of line 23's value, nothing when the line gives none.
Brand brandOf(std::optional<int> line23);

struct BrandCaptions
{
    QString main;
    QString progress;
    // Nothing: the dialog keeps its own caption.
    std::optional<QString> ethernet;
    QString info;
};

BrandCaptions captionsOf(Brand brand);
