#include "steghide/SteghideWindow.h"

#include "passwords/PasswordCovers.h"
#include "passwords/WordListAttack.h"
#include "steghide/SteghideCrypto.h"
#include "steghide/SteghideInput.h"
#include "widgets/ChooseImageFile.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include <cmath>
#include <fstream>

namespace vantrel {
namespace {

const QColor kFound(200, 40, 40);

QString Duration(double seconds) {
    const long whole = std::lrint(std::max(seconds, 0.0));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString FileName(const std::string& path) {
    return QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).fileName();
}

// "1 passphrase", "1,000 passphrases": grouped digits, and the plural (every unit here takes an
// s) only where the count is not one.
QString Count(std::uint64_t count, const char* plural) {
    const QString unit = QLatin1String(plural);
    return QStringLiteral("%1 %2").arg(QLocale(QLocale::English).toString(quint64(count)),
                                       count == 1 ? unit.chopped(1) : unit);
}

// A search that found nothing says what it tried: the data may be there under a passphrase
// that was not in the list. `data`: "steghide data", or the tools that were tried.
QString NothingFound(bool seeds, std::uint64_t tried, const QString& data) {
    return seeds ? QStringLiteral("No seed of the %1 searched opens steghide data")
                       .arg(QLocale(QLocale::English).toString(quint64(tried)))
           : tried == 1 ? QStringLiteral("The one passphrase tried opens no %1").arg(data)
                        : QStringLiteral("No passphrase of the %1 tried opens %2")
                              .arg(QLocale(QLocale::English).toString(quint64(tried)), data);
}

} // namespace

SteghideWindow::SteghideWindow(QWidget* parent) : FileAnalysisWindow(parent) {
    setObjectName(QStringLiteral("SteghideWindow"));
    setWindowTitle(QStringLiteral("steghide"));
    setClientSize(712, 444);
    setLeadingFormats({QStringLiteral("JPEG"), QStringLiteral("BMP"), QStringLiteral("PNG"),
                       QStringLiteral("GIF")});

    TopRow row(this);
    Browse = addBrowse(row, 80);
    WordList = row.add(QStringLiteral("WordList"), QStringLiteral("Word List..."), 110);
    TryWordList = row.add(QStringLiteral("TryWordList"), QStringLiteral("Try Word List"), 120);
    SearchSeeds = row.add(QStringLiteral("SearchSeeds"), QStringLiteral("Search All Seeds"), 140);
    Stop = row.add(QStringLiteral("Stop"), QStringLiteral("Stop"), 70);
    SavePayload = row.add(QStringLiteral("SavePayload"), QStringLiteral("Save Payload..."), 146);
    const auto label = [this](const QString& name, const QString& text, int y) {
        auto* made = new QLabel(text, this);
        made->setObjectName(name);
        made->setFont(ConsolasFont(9, false));
        made->setGeometry(8, y, 696, 20);
        return made;
    };
    FileLabel = label(QStringLiteral("FileLabel"),
                      QStringLiteral("Browse for a JPEG or BMP, or drop one on this window."), 40);
    WordListLabel = label(QStringLiteral("WordListLabel"),
                          QStringLiteral("Word list: none (the empty passphrase and the file's "
                                         "name are always tried)"),
                          62);
    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setGeometry(8, 88, 340, 22);
    Progress->setRange(0, 1000);
    Progress->setValue(0);
    Progress->setFormat(QStringLiteral("%p%"));
    Rate = label(QStringLiteral("Rate"), QString(), 89);
    Rate->setGeometry(356, 89, 348, 20);
    int x = 8;
    for (const std::string_view tool : passwords::KnownPasswordTools()) {
        const QString name = QString::fromLatin1(tool.data(), static_cast<qsizetype>(tool.size()));
        auto* box = new QCheckBox(name, this);
        box->setObjectName(QStringLiteral("Tool_") + name);
        box->setFont(ConsolasFont(9, false));
        box->setChecked(true);
        box->setGeometry(x, 116, 130, 20);
        x += 138;
        Tools.push_back(box);
    }
    Summary = label(QStringLiteral("Summary"), QString(), 140);
    Summary->setFont(ConsolasFont(9));
    setFailureLine(FileLabel);

    Hits = new QTableWidget(0, 7, this);
    Hits->setObjectName(QStringLiteral("Hits"));
    Hits->setFont(ConsolasFont(9, false));
    Hits->setGeometry(8, 166, 696, 270);
    Hits->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Hits->setSelectionBehavior(QAbstractItemView::SelectRows);
    Hits->setSelectionMode(QAbstractItemView::SingleSelection);
    Hits->setHorizontalHeaderLabels({QStringLiteral("Passphrase / seed"),
                                     QStringLiteral("Cipher/tool"), QStringLiteral("Mode"),
                                     QStringLiteral("Bits"), QStringLiteral("File"),
                                     QStringLiteral("Bytes"), QStringLiteral("CRC / proof")});
    Hits->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Hits->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    Hits->verticalHeader()->hide();

    connect(WordList, &QPushButton::clicked, this, &SteghideWindow::WordList_Click);
    connect(TryWordList, &QPushButton::clicked, this, &SteghideWindow::TryWordList_Click);
    connect(SearchSeeds, &QPushButton::clicked, this, &SteghideWindow::SearchSeeds_Click);
    connect(Stop, &QPushButton::clicked, this, &SteghideWindow::Stop_Click);
    connect(SavePayload, &QPushButton::clicked, this, &SteghideWindow::SavePayload_Click);
    chooseWordList = [](QWidget* owner) -> std::optional<QString> {
        const QString chosen = QFileDialog::getOpenFileName(owner, QStringLiteral("Word List"));
        return chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen);
    };
    choosePayloadPath = [](QWidget* owner, const QString& suggested) {
        return ChooseSaveFile(owner, QStringLiteral("Save Payload"), suggested);
    };
    setBusy(false);
}

void SteghideWindow::setBusy(bool busy) {
    Browse->setEnabled(!busy);
    WordList->setEnabled(!busy);
    TryWordList->setEnabled(!busy && (cover_ || (others_ && !others_->empty())));
    SearchSeeds->setEnabled(!busy && cover_);
    Stop->setEnabled(busy);
    SavePayload->setEnabled(!busy && std::any_of(hits_.begin(), hits_.end(), [](const Hit& hit) {
        return hit.payload || (hit.other && hit.other->verified);
    }));
}

void SteghideWindow::WordList_Click() {
    if (const std::optional<QString> chosen = chooseWordList(this)) {
        wordListPath_ = PathBytes(*chosen);
        WordListLabel->setText(QStringLiteral("Word list: ") + *chosen);
    }
}

void SteghideWindow::loadFile(const QString& path) {
    cover_.reset();
    others_.reset();
    hits_.clear();
    fillTable();
    Progress->setValue(0);
    Rate->clear();
    Summary->clear();
    path_ = PathBytes(path);
    beginFile(path);
    FileLabel->setText(QStringLiteral("Reading %1 ...").arg(QFileInfo(path).fileName()));
    setBusy(true);
    startRun([this, bytes = path_](int) -> std::function<void()> {
        auto loaded = std::make_shared<Result<SteghideCover>>(LoadSteghideCover(bytes));
        // Every other tool's cover now, so that the ticks can change between runs.
        const std::vector<std::string> others(passwords::KnownPasswordTools().begin() + 1,
                                              passwords::KnownPasswordTools().end());
        auto tools = std::make_shared<Result<passwords::FileTools>>(
            passwords::LoadPasswordTools(bytes, others));
        return [this, loaded, tools] {
            QStringList applies;
            if (*tools && !(*tools)->tools.empty()) {
                auto held = std::make_shared<std::vector<std::unique_ptr<passwords::PasswordTool>>>(
                    std::move((*tools)->tools));
                for (const auto& tool : *held) {
                    applies << QString::fromLatin1(tool->name().data(),
                                                   static_cast<qsizetype>(tool->name().size()));
                }
                others_ = std::move(held);
            }
            const QString also =
                applies.isEmpty() ? QString()
                                  : QStringLiteral("; also ") + applies.join(QStringLiteral(", "));
            if (*loaded) {
                cover_ = std::make_shared<const SteghideCover>(std::move(*loaded).value());
                FileLabel->setText(QStringLiteral("%1: %2 samples, %3 per value%4")
                                       .arg(FileName(path_))
                                       .arg(cover_->values.size())
                                       .arg(cover_->samplesPerValue)
                                       .arg(also));
            } else if (others_) {
                reportStatus(QStringLiteral("%1: steghide: %2; %3")
                                 .arg(FileName(path_), QString::fromStdString(loaded->error()),
                                      applies.join(QStringLiteral(", "))));
                FileLabel->setText(lastStatus());
            } else {
                reportFailure(loaded->error());
            }
            setBusy(false);
            emit coverLoaded();
        };
    });
}

void SteghideWindow::TryWordList_Click() {
    startAttack(false);
}

void SteghideWindow::SearchSeeds_Click() {
    startAttack(true);
}

void SteghideWindow::Stop_Click() {
    cancelRun();
}

std::vector<std::string> SteghideWindow::tickedOthers() const {
    std::vector<std::string> ticked;
    for (std::size_t i = 1; i < Tools.size(); ++i) {
        if (Tools[i]->isChecked()) {
            ticked.push_back(Tools[i]->text().toStdString());
        }
    }
    return ticked;
}

void SteghideWindow::startAttack(bool seeds) {
    const bool steghide = cover_ && Tools.front()->isChecked();
    std::vector<const passwords::PasswordTool*> driven;
    const std::vector<std::string> ticked = tickedOthers();
    if (others_ && !seeds) {
        for (const auto& tool : *others_) {
            if (std::find(ticked.begin(), ticked.end(), tool->name()) != ticked.end()) {
                driven.push_back(tool.get());
            }
        }
    }
    if (seeds ? !cover_ : !steghide && driven.empty()) {
        return;
    }
    // The command line stops at a list it cannot read; so does the window, before the run.
    if (!seeds && !wordListPath_.empty() && !std::ifstream(wordListPath_).is_open()) {
        reportFailure("Cannot read the word list " + wordListPath_);
        return;
    }
    hits_.clear();
    fillTable();
    Progress->setValue(0);
    Rate->clear();
    Summary->setText(seeds ? QStringLiteral("Searching all 2^32 seeds ...")
                           : QStringLiteral("Trying passphrases ..."));
    SetTextColour(Summary, palette().color(QPalette::WindowText));
    setBusy(true);
    // `others` keeps the driven tools alive should another file be loaded during the run.
    startRun([this, seeds, steghide, driven, cover = cover_, others = others_, path = path_,
              words = wordListPath_](int run) -> std::function<void()> {
        Outcome outcome;
        const char* unit = seeds ? "seeds" : "passphrases";
        outcome.seeds = seeds;
        const auto progress = [this, run, unit](const SteghideProgress& p) {
            postToRun(run, [this, p, unit] { showProgress(p, unit); });
        };
        if (seeds) {
            SteghideSeedSearchOptions options;
            options.cancel = cancelFlag();
            options.progress = progress;
            SteghideSeedSearchResult result = SteghideSeedSearch(*cover, options);
            for (SteghideSeedHit& hit : result.hits) {
                outcome.hits.push_back({std::nullopt,
                                        std::nullopt,
                                        hit.seed,
                                        hit.rank,
                                        hit.header,
                                        std::move(hit.payload),
                                        {}});
            }
            outcome.tried = result.searched;
            outcome.seconds = result.seconds;
            outcome.cancelled = result.cancelled;
        } else {
            std::ifstream list;
            const auto rewind = [&] {
                list.close();
                if (!words.empty()) {
                    list.open(words, std::ios::binary);
                }
                return list.is_open() ? &list : nullptr;
            };
            if (steghide) {
                SteghideWordListOptions options;
                options.fileName = path;
                options.cancel = cancelFlag();
                options.progress = progress;
                SteghideWordListResult result = SteghideWordListAttack(*cover, rewind(), options);
                for (SteghidePassphraseHit& hit : result.hits) {
                    outcome.hits.push_back({std::move(hit.passphrase), std::nullopt, hit.seed, -1,
                                            hit.header, std::move(hit.payload),
                                            std::move(hit.unreadable)});
                }
                outcome.tried = result.tried;
                outcome.seconds = result.seconds;
                outcome.cancelled = result.cancelled;
            }
            if (!driven.empty() && !outcome.cancelled) {
                passwords::PasswordAttackOptions options;
                options.fileName = path;
                options.cancel = cancelFlag();
                options.progress = [&progress](const passwords::PasswordProgress& p) {
                    progress({p.done, 0, p.seconds, p.perSecond});
                };
                passwords::PasswordAttackResult result =
                    passwords::WordListAttack(driven, rewind(), options);
                for (passwords::PasswordHit& hit : result.hits) {
                    Hit shown;
                    shown.passphrase = hit.password;
                    shown.other = std::move(hit);
                    outcome.hits.push_back(std::move(shown));
                }
                outcome.tried = std::max(outcome.tried, result.tried);
                outcome.seconds += result.seconds;
                outcome.cancelled = result.cancelled;
            }
            for (const passwords::PasswordTool* tool : driven) {
                outcome.tools.emplace_back(tool->name());
            }
            if (steghide) {
                outcome.tools.insert(outcome.tools.begin(), "steghide");
            }
        }
        auto shared = std::make_shared<Outcome>(std::move(outcome));
        return [this, shared] { showOutcome(*shared); };
    });
}

void SteghideWindow::showProgress(const SteghideProgress& p, const char* unit) {
    if (p.total > 0) {
        Progress->setValue(
            static_cast<int>(1000.0 * static_cast<double>(p.done) / static_cast<double>(p.total)));
        const double left =
            p.perSecond > 0 ? static_cast<double>(p.total - p.done) / p.perSecond : 0;
        Rate->setText(QStringLiteral("%1 %2/s, %3 left")
                          .arg(p.perSecond, 0, 'f', 0)
                          .arg(QLatin1String(unit))
                          .arg(Duration(left)));
    } else {
        Progress->setRange(0, 0); // a streamed list has no end to measure against
        Rate->setText(
            QStringLiteral("%1 tried, %2/s").arg(Count(p.done, unit)).arg(p.perSecond, 0, 'f', 0));
    }
}

void SteghideWindow::showOutcome(const Outcome& outcome) {
    Progress->setRange(0, 1000);
    Progress->setValue(outcome.cancelled ? Progress->value() : 1000);
    const double rate =
        outcome.seconds > 0 ? static_cast<double>(outcome.tried) / outcome.seconds : 0;
    Rate->setText(QStringLiteral("%1 in %2 (%3/s)")
                      .arg(Count(outcome.tried, outcome.seeds ? "seeds" : "passphrases"))
                      .arg(Duration(outcome.seconds))
                      .arg(rate, 0, 'f', 0));
    hits_ = outcome.hits;
    fillTable();
    QStringList tools;
    for (const std::string& tool : outcome.tools) {
        tools << QString::fromStdString(tool);
    }
    const QString data = outcome.seeds || tools == QStringList{QStringLiteral("steghide")}
                             ? QStringLiteral("steghide data")
                             : QStringLiteral("data of ") + tools.join(QStringLiteral(", "));
    QString text = hits_.empty() ? NothingFound(outcome.seeds, outcome.tried, data)
                                 : data + QStringLiteral(": ") + Count(hits_.size(), "hits");
    if (outcome.cancelled) {
        text += QStringLiteral(" (stopped)");
    }
    Summary->setText(text);
    SetTextColour(Summary, hits_.empty() ? palette().color(QPalette::WindowText) : kFound);
    setBusy(false);
    emit runFinished();
}

void SteghideWindow::fillTable() {
    Hits->setRowCount(static_cast<int>(hits_.size()));
    for (int row = 0; row < Hits->rowCount(); ++row) {
        const Hit& hit = hits_[static_cast<std::size_t>(row)];
        const auto text = [](std::string_view value) {
            return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
        };
        if (const std::optional<passwords::PasswordHit>& other = hit.other) {
            const QStringList cells{QStringLiteral("\"%1\"").arg(text(other->password)),
                                    text(other->tool),
                                    other->verified ? QStringLiteral("verified")
                                                    : QStringLiteral("candidate"),
                                    QString::number(other->payload.size() * 8),
                                    text(other->name),
                                    QString::number(other->payload.size()),
                                    text(other->proof)};
            for (int column = 0; column < cells.size(); ++column) {
                Hits->setItem(row, column, new QTableWidgetItem(cells[column]));
            }
            continue;
        }
        QStringList cells{hit.passphrase ? QStringLiteral("\"%1\"").arg(text(*hit.passphrase))
                                         : QStringLiteral("seed 0x%1 (rank %2)")
                                               .arg(hit.seed, 8, 16, QLatin1Char('0'))
                                               .arg(hit.rank),
                          text(SteghideAlgorithmName(hit.header.algorithm)),
                          // Unencrypted data has no cipher mode, whatever the field holds.
                          hit.header.algorithm == 0 ? QString()
                                                    : text(SteghideModeName(hit.header.mode)),
                          QString::number(hit.header.plainBits)};
        if (hit.payload) {
            cells << text(hit.payload->name) << QString::number(hit.payload->data.size())
                  << (hit.payload->hasChecksum ? (hit.payload->checksumOk ? QStringLiteral("ok")
                                                                          : QStringLiteral("wrong"))
                                               : QStringLiteral("none"));
        } else {
            cells << (hit.unreadable.empty() ? QStringLiteral("(encrypted)") : text(hit.unreadable))
                  << QString() << QString();
        }
        for (int column = 0; column < cells.size(); ++column) {
            Hits->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
    }
    if (!hits_.empty()) {
        Hits->selectRow(0);
    }
}

void SteghideWindow::SavePayload_Click() {
    // The selected hit's payload, or the first one that has one; a candidate's bytes prove
    // nothing and are not offered.
    const auto saveable = [](const Hit& hit) {
        return hit.payload || (hit.other && hit.other->verified);
    };
    const int selected = Hits->currentRow();
    const Hit* chosen = nullptr;
    if (selected >= 0 && static_cast<std::size_t>(selected) < hits_.size() &&
        saveable(hits_[static_cast<std::size_t>(selected)])) {
        chosen = &hits_[static_cast<std::size_t>(selected)];
    }
    for (const Hit& hit : hits_) {
        if (!chosen && saveable(hit)) {
            chosen = &hit;
        }
    }
    if (!chosen) {
        return;
    }
    const std::string& name = chosen->other ? chosen->other->name : chosen->payload->name;
    const std::vector<std::uint8_t>& data =
        chosen->other ? chosen->other->payload : chosen->payload->data;
    const std::optional<QString> target = choosePayloadPath(this, QString::fromStdString(name));
    if (!target) {
        return;
    }
    saveFile(*target, data);
}

} // namespace vantrel
