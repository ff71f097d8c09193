// Scans formulas, names, charts and the records of sheet1 for references to its rows.
#include "workbook/xls/xlsreferences.h"

#include <algorithm>
#include <bitset>

namespace workbook::xls {

namespace {

// Records of a worksheet that hold no row positions, or whose positions move with their rows.
bool positionFree(std::uint16_t type) {
    static const std::bitset<0x10000> table = [] {
        const std::initializer_list<std::uint16_t> types = {rec::Bof,
                                                            rec::Eof,
                                                            rec::Index,
                                                            rec::Uncalced,
                                                            rec::CalcMode,
                                                            rec::CalcCount,
                                                            rec::CalcRefMode,
                                                            rec::CalcIter,
                                                            rec::CalcDelta,
                                                            rec::CalcSaveRecalc,
                                                            rec::PrintRowCol,
                                                            rec::PrintGrid,
                                                            rec::GridSet,
                                                            rec::Guts,
                                                            rec::DefaultRowHeight,
                                                            rec::WsBool,
                                                            rec::VerticalPageBreaks,
                                                            rec::Header,
                                                            rec::Footer,
                                                            rec::HCenter,
                                                            rec::VCenter,
                                                            rec::LeftMargin,
                                                            rec::RightMargin,
                                                            rec::TopMargin,
                                                            rec::BottomMargin,
                                                            rec::Pls,
                                                            rec::Continue,
                                                            rec::Setup,
                                                            rec::HeaderFooter,
                                                            rec::BkHim,
                                                            rec::Protect,
                                                            rec::ScenarioProtect,
                                                            rec::ObjProtect,
                                                            rec::Password,
                                                            rec::WinProtect,
                                                            rec::DefColWidth,
                                                            rec::ColInfo,
                                                            rec::StandardWidth,
                                                            rec::Dimensions,
                                                            rec::Row,
                                                            rec::DbCell,
                                                            rec::Blank,
                                                            rec::MulBlank,
                                                            rec::Number,
                                                            rec::Rk,
                                                            rec::MulRk,
                                                            rec::LabelSst,
                                                            rec::Label,
                                                            rec::Rstring,
                                                            rec::BoolErr,
                                                            rec::String,
                                                            rec::Window2,
                                                            rec::Plv,
                                                            rec::Scl,
                                                            rec::Pane,
                                                            rec::Selection,
                                                            rec::CodeName,
                                                            rec::SheetExt,
                                                            rec::FeatHdr,
                                                            rec::EntExU2,
                                                            rec::HfPicture,
                                                            rec::PhoneticInfo};
        std::bitset<0x10000> t;
        for (std::uint16_t type : types)
            t.set(type);
        return t;
    }();
    return table.test(type);
}

// Records of a worksheet that place something on cells by position, named as the refusal of a
// delete names them; null for any other.
const char *positionUser(std::uint16_t type) {
    switch (type) {
    case rec::HLink:
    case rec::HLinkTooltip:
        return "hyperlinks";
    case rec::Note:
        return "notes";
    case rec::Obj:
    case rec::Txo:
    case rec::MsoDrawingSelection:
        return "drawing objects";
    case rec::CondFmt:
    case rec::Cf:
    case rec::CondFmt12:
    case rec::Cf12:
    case rec::CfEx:
        return "conditional formats";
    case rec::DVal:
    case rec::Dv:
        return "data validations";
    case rec::FilterMode:
    case rec::AutoFilterInfo:
    case rec::AutoFilter:
    case rec::AutoFilter12:
        return "filters";
    default:
        return nullptr;
    }
}

QByteArray withContinues(const QByteArray &stream, const std::vector<BiffRecord> &records,
                         size_t i) {
    QByteArray data(records[i].data(stream), records[i].length);
    while (++i < records.size() && records[i].type == rec::Continue)
        data.append(records[i].data(stream), records[i].length);
    return data;
}

ExternSheets readExterns(const QByteArray &stream, const std::vector<BiffRecord> &records,
                         int globalsEnd) {
    ExternSheets externs;
    int books = 0;
    bool haveTable = false;
    for (int i = 0; i < globalsEnd; ++i) {
        const BiffRecord &r = records[size_t(i)];
        if (r.type == rec::SupBook) {
            if (r.length >= 4 && u16(r.data(stream) + 2) == 0x0401 && externs.internalBook < 0)
                externs.internalBook = books;
            ++books;
        } else if (r.type == rec::ExternSheet && !haveTable) {
            haveTable = true;
            const QByteArray data = withContinues(stream, records, size_t(i));
            if (data.size() < 2)
                return externs;
            const int count = u16(data.constData());
            if (data.size() < 2 + 6 * count)
                return externs;
            for (int k = 0; k < count; ++k) {
                const char *p = data.constData() + 2 + 6 * k;
                externs.entries.push_back({u16(p), u16(p + 2), u16(p + 4)});
            }
        }
    }
    externs.known = externs.internalBook >= 0 || externs.entries.empty();
    return externs;
}

bool coversSheet(const ExternSheets &externs, std::uint16_t ixti, int sheet) {
    if (!externs.known || ixti >= externs.entries.size())
        return true;
    const auto &e = externs.entries[ixti];
    if (int(e[0]) != externs.internalBook)
        return false; // another workbook
    if (e[1] >= 0xFFFE)
        return false; // the workbook as a whole, or a deleted sheet
    const int lo = std::min(e[1], e[2]), hi = std::max(e[1], e[2]);
    return lo <= sheet && sheet <= hi;
}

// An OfficeArt tree holding an anchor or client data places shapes on cells.
bool drawingHasAnchors(const QByteArray &art) {
    qsizetype pos = 0;
    std::vector<qsizetype> ends{art.size()};
    while (pos < art.size()) {
        while (pos >= ends.back() && ends.size() > 1)
            ends.pop_back();
        if (pos + 8 > art.size())
            return true;
        const char *p = art.constData() + pos;
        const bool container = (p[0] & 0x0F) == 0x0F;
        const std::uint16_t type = u16(p + 2);
        const std::uint32_t length = u32(p + 4);
        if (type == 0xF00D || type == 0xF00F || type == 0xF010 || type == 0xF011)
            return true;
        if (container) {
            ends.push_back(std::min<qsizetype>(pos + 8 + qsizetype(length), art.size()));
            pos += 8;
        } else {
            pos += 8 + qsizetype(length);
        }
    }
    return pos != art.size();
}

bool mentionsSheet(const char *data, int length, const QString &name) {
    for (int shift = 0; shift < 2; ++shift) {
        const int units = (length - shift) / 2;
        QString text(units, Qt::Uninitialized);
        for (int i = 0; i < units; ++i)
            text[i] = QChar(u16(data + shift + 2 * i));
        if (text.contains(name, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// The tokens of a formula-bearing record: FORMULA, SHRFMLA, ARRAY, NAME or BRAI.
bool formulaTokens(const BiffRecord &r, const QByteArray &data, const char *&tokens, int &size) {
    int at = 0;
    switch (r.type) {
    case rec::Formula:
        at = 20;
        break;
    case rec::Shrfmla:
        at = 8;
        break;
    case rec::Array:
        at = 12;
        break;
    case rec::Brai:
        at = 6;
        break;
    default:
        return false;
    }
    if (data.size() < at + 2)
        return false;
    size = u16(data.constData() + at);
    tokens = data.constData() + at + 2;
    return at + 2 + size <= data.size();
}

class Scanner {
public:
    Scanner(const QByteArray &stream, const std::vector<BiffRecord> &records,
            const StreamLayout &layout)
        : m_stream(stream), m_records(records), m_layout(layout),
          m_sheet1(layout.sheets[size_t(layout.sheet1)]) {
        m_externs = readExterns(stream, records, layout.globalsEnd);
    }

    SheetReferences run() {
        scanNames();
        scanSheet1();
        for (size_t s = 0; s < m_layout.sheets.size(); ++s)
            if (int(s) != m_layout.sheet1)
                scanOtherSheet(m_layout.sheets[s]);
        SheetReferences out;
        out.formulasReadSheet = m_formulasRead;
        for (const QString &reason : m_reasons)
            addUser(out.rowPositionUsers, reason);
        return out;
    }

private:
    // The references of a formula-bearing record; unreadable when its tokens are cut short.
    TokenReferences formulaReferences(const BiffRecord &r, const QByteArray &data) const {
        const char *p = nullptr;
        int size = 0;
        if (!formulaTokens(r, data, p, size)) {
            TokenReferences t;
            t.unreadable = true;
            return t;
        }
        return tokens(p, size);
    }

    TokenReferences tokens(const char *p, int size) const {
        return scanTokens(p, size, m_externs, m_layout.sheet1);
    }

    void scanNames() {
        for (int i = 0; i < m_layout.globalsEnd; ++i) {
            if (m_records[size_t(i)].type != rec::Name)
                continue;
            const QByteArray data = withContinues(m_stream, m_records, size_t(i));
            bool refers = true; // a name we cannot read may refer to anything
            if (data.size() >= 15) {
                const int cch = std::uint8_t(data[3]);
                const int cce = u16(data.constData() + 4);
                const int at = 14 + 1 + cch * ((data[14] & 1) ? 2 : 1);
                if (at + cce <= data.size()) {
                    const TokenReferences t = tokens(data.constData() + at, cce);
                    refers = t.plain || t.sheet || t.unreadable;
                }
            }
            if (refers) {
                m_reasons.append(QStringLiteral("defined names"));
                m_formulasRead = true;
            }
        }
    }

    void scanSheet1() {
        const QString formulas = QStringLiteral("formulas on sheet1");
        QByteArray drawing;
        for (int i = m_sheet1.begin; i < m_sheet1.end - 1; ++i) {
            const BiffRecord &r = m_records[size_t(i)];
            if (i > m_sheet1.begin && r.type == rec::Bof) {
                // An embedded chart: its series refer to cells by position.
                m_reasons.append(QStringLiteral("charts"));
                const int end = substreamEnd(m_records, i);
                if (end < 0)
                    return;
                i = end - 1;
                continue;
            }
            const char *data = r.data(m_stream);
            switch (r.type) {
            case rec::Formula: {
                const TokenReferences t = formulaReferences(r, QByteArray(data, r.length));
                if (t.plain || t.sheet || t.names || t.unreadable) {
                    m_reasons.append(formulas);
                    m_formulasRead = true;
                }
                break;
            }
            case rec::Shrfmla:
            case rec::Array:
            case rec::Table:
                m_reasons.append(formulas);
                m_formulasRead = true;
                break;
            case rec::MergedCells:
                if (r.length < 2 || u16(data) > 0)
                    m_reasons.append(QStringLiteral("merged cells"));
                break;
            case rec::MsoDrawing:
                drawing.append(data, r.length);
                break;
            case rec::HorizontalPageBreaks:
                if (r.length < 2 || u16(data) > 0)
                    m_reasons.append(QStringLiteral("page breaks"));
                break;
            default:
                if (positionFree(r.type)) // most records: asked first
                    break;
                // A record this reader does not know may place something on cells as well; its
                // number would tell the user nothing.
                const char *user = positionUser(r.type);
                m_reasons.append(QString::fromLatin1(user ? user : "records of unknown kinds"));
            }
        }
        if (!drawing.isEmpty() && drawingHasAnchors(drawing))
            m_reasons.append(QStringLiteral("drawing objects"));
    }

    void scanOtherSheet(const SheetSubstream &sheet) {
        if (sheet.begin < 0 || sheet.end < 0)
            return;
        const QString formulas = QStringLiteral("formulas on sheet %1").arg(sheet.name);
        std::vector<std::uint16_t> kinds; // BOF dt of each open substream
        for (int i = sheet.begin; i < sheet.end; ++i) {
            const BiffRecord &r = m_records[size_t(i)];
            if (r.type == rec::Bof) {
                kinds.push_back(r.length >= 4 ? u16(r.data(m_stream) + 2) : 0);
                continue;
            }
            if (r.type == rec::Eof) {
                if (!kinds.empty())
                    kinds.pop_back();
                continue;
            }
            const bool inChart = !kinds.empty() && kinds.back() == ChartKind;
            if (r.type == rec::HLink) {
                if (mentionsSheet(r.data(m_stream), r.length, m_sheet1.name))
                    m_reasons.append(QStringLiteral("hyperlinks"));
                continue;
            }
            if (r.type == rec::DconRef) {
                m_reasons.append(QStringLiteral("pivot tables"));
                continue;
            }
            if (r.type != rec::Formula && r.type != rec::Shrfmla && r.type != rec::Array &&
                r.type != rec::Brai)
                continue;
            const TokenReferences t =
                formulaReferences(r, withContinues(m_stream, m_records, size_t(i)));
            // In a chart plain references have no sheet of their own to mean.
            const bool refers = t.sheet || t.unreadable || (inChart && t.plain);
            if (refers)
                m_reasons.append(inChart || r.type == rec::Brai ? QStringLiteral("charts")
                                                                : formulas);
            if (refers || t.names)
                m_formulasRead = true;
        }
    }

    const QByteArray &m_stream;
    const std::vector<BiffRecord> &m_records;
    const StreamLayout &m_layout;
    const SheetSubstream &m_sheet1;
    ExternSheets m_externs;
    QStringList m_reasons;
    bool m_formulasRead = false;
};

} // namespace

TokenReferences scanTokens(const char *p, int size, const ExternSheets &externs, int sheet) {
    TokenReferences out;
    int i = 0;
    while (i < size) {
        const std::uint8_t t = std::uint8_t(p[i]);
        int n = 0;
        if (t < 0x20) {
            switch (t) {
            case 0x01: // PtgExp: a shared or array formula's anchor
            case 0x02: // PtgTbl
                n = 5;
                out.plain = true;
                break;
            case 0x1C:
            case 0x1D:
                n = 2;
                break;
            case 0x1E:
                n = 3;
                break;
            case 0x1F:
                n = 9;
                break;
            case 0x17: // PtgStr
                if (i + 3 > size) {
                    out.unreadable = true;
                    return out;
                }
                n = 3 + std::uint8_t(p[i + 1]) * ((p[i + 2] & 1) ? 2 : 1);
                break;
            case 0x19: // PtgAttr; tAttrChoose carries a jump table
                if (i + 4 > size) {
                    out.unreadable = true;
                    return out;
                }
                n = (p[i + 1] & 0x04) ? 4 + 2 * (u16(p + i + 2) + 1) : 4;
                break;
            default:
                if (t >= 0x03 && t <= 0x16) {
                    n = 1; // operators
                } else {
                    out.unreadable = true;
                    return out;
                }
            }
        } else if (t < 0x80) {
            switch (t & 0x1F) {
            case 0x00: // PtgArray: the values follow the tokens
                n = 8;
                break;
            case 0x01:
            case 0x09:
                n = 3;
                break;
            case 0x02:
                n = 4;
                break;
            case 0x03: // PtgName
                n = 5;
                out.names = true;
                break;
            case 0x04: // PtgRef
            case 0x0C: // PtgRefN
                n = 5;
                out.plain = true;
                break;
            case 0x05: // PtgArea
            case 0x0D: // PtgAreaN
                n = 9;
                out.plain = true;
                break;
            case 0x06:
            case 0x07:
            case 0x08:
                n = 7;
                break;
            case 0x0A:
                n = 5;
                break;
            case 0x0B:
                n = 9;
                break;
            case 0x19: // PtgNameX
                n = 7;
                out.names = true;
                break;
            case 0x1A: // PtgRef3d, PtgRefErr3d
            case 0x1C:
                n = 7;
                break;
            case 0x1B: // PtgArea3d, PtgAreaErr3d
            case 0x1D:
                n = 11;
                break;
            default:
                out.unreadable = true;
                return out;
            }
            const int base = t & 0x1F;
            if ((base == 0x1A || base == 0x1B || base == 0x1C || base == 0x1D) && i + 3 <= size &&
                coversSheet(externs, u16(p + i + 1), sheet))
                out.sheet = true;
        } else {
            out.unreadable = true;
            return out;
        }
        if (i + n > size) {
            out.unreadable = true;
            return out;
        }
        i += n;
    }
    return out;
}

SheetReferences findReferences(const QByteArray &stream, const std::vector<BiffRecord> &records,
                               const StreamLayout &layout) {
    return Scanner(stream, records, layout).run();
}

} // namespace workbook::xls
