// Conversations in the window: "Show thread" asks the service for an article's thread, and
// "Group by thread" shows the article list as reply trees.
#include <QHeaderView>
#include <QLineEdit>

#include "ui/threadtreemodel.h"
#include "windowfixture.h"

namespace varnook::testing {
namespace {

using Lines = std::vector<std::string>;

class ThreadsTest : public WindowTest {
 protected:
  void TearDown() override {
    // The choice is saved with the options: the next test starts with the flat list.
    if (action("mnuGroupByThread")->isChecked()) action("mnuGroupByThread")->trigger();
    WindowTest::TearDown();
  }
  // A collection of two threads: "Modem" with a reply by its headers and one by its subject
  // only, and "Apple" with one reply by subject.
  void addThreads() {
    std::uint32_t n = 0;
    for (const char* subject : {"Modem", "Re: Modem", "Re: Re: Modem", "Apple", "Re: Apple"}) {
      ++n;  // the first two loaded; Apple is the oldest
      addArticle(n, subject, "a@b", {}, n <= 2 ? "text" : "").date = (n + 1) % 5 + 1;
    }
    std::tie(article("Modem").messageId, article("Re: Modem").messageId,
             article("Re: Modem").references) = std::tuple("<m>", "<r>", "<m>");
  }
  // The tree as shown: subjects indented by depth, collapsed threads included.
  Lines tree(const QModelIndex& parent = {}, int depth = 0) {
    Lines lines;
    QAbstractItemModel* model = articles()->model();
    for (int row = 0; row < model->rowCount(parent); ++row) {
      const QModelIndex index = model->index(row, 0, parent);
      lines.push_back(std::string(2 * static_cast<std::size_t>(depth), ' ') +
                      index.data().toString().toStdString());
      for (const std::string& line : tree(index, depth + 1)) lines.push_back(line);
    }
    return lines;
  }
  QModelIndex rowOf(const Article& article) {
    return session().articlesPage().rows().viewIndex(article.row());
  }
  void select(std::initializer_list<const Article*> chosen) {
    QItemSelectionModel& selection = *articles()->selectionModel();
    selection.clearSelection();
    for (const Article* article : chosen)
      selection.select(rowOf(*article), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  Article& article(const std::string& subject) {
    for (const auto& held : collection().articles())
      if (held->subject == subject) return *held;
    throw std::runtime_error("no article " + subject);
  }
};

TEST_F(ThreadsTest, GroupByThreadBuildsTreesFromHeadersAndSubjectsAndSortingKeepsThem) {
  addThreads();
  showPage(1);
  QAction* group = action("mnuGroupByThread");
  group->trigger();
  EXPECT_EQ(std::tuple(group->isChecked(), session().options().options().groupByThread),
            std::tuple(true, true));
  EXPECT_EQ(tree(), (Lines{"Modem", "  Re: Modem", "  Re: Re: Modem", "Apple", "  Re: Apple"}));

  // Sorting orders the roots; each tree keeps its order.
  articles()->header()->sectionClicked(0);
  EXPECT_EQ(tree(), (Lines{"Apple", "  Re: Apple", "Modem", "  Re: Modem", "  Re: Re: Modem"}));

  // An arriving article comes in at the end, then finds its thread; the selection stays.
  Article& apple = article("Apple");
  select({&apple});
  addArticle(6, "RE: Apple").date = 9;
  EXPECT_EQ(tree().back(), "RE: Apple");
  session().articlesPage().rows().regroupIfDue();
  EXPECT_EQ(tree(), (Lines{"Apple", "  Re: Apple", "  RE: Apple", "Modem", "  Re: Modem",
                           "  Re: Re: Modem"}));
  EXPECT_EQ(session().articlesPage().selectedArticles(), std::vector<Article*>{&apple});

  // Its text names its parent: the headers place it now.
  Article& third = article("Re: Re: Modem");
  third.references = "<m> <r>";
  collection().setArticleText(third, "text");
  third.updateListItem();
  EXPECT_TRUE(QTest::qWaitFor([&] { return tree()[5] == "    Re: Re: Modem"; }));

  // The filter keeps the articles holding its text; a reply whose parent it hides rises.
  auto* filter = child<QLineEdit>("edArticleFilter");
  filter->setText(QStringLiteral("re: re"));
  EXPECT_EQ(tree(), (Lines{"Re: Re: Modem"}));
  filter->setText(QStringLiteral("re: modem"));
  EXPECT_EQ(tree(), (Lines{"Re: Modem", "  Re: Re: Modem"}));
  filter->clear();

  group->trigger();  // off again: the flat list
  EXPECT_EQ(std::tuple(tree().size(), session().options().options().groupByThread),
            std::tuple(6u, false));
}

TEST_F(ThreadsTest, SelectionShowingCheckMarksAndDeleteWorkOnTheTree) {
  action("mnuGroupByThread")->trigger();
  addThreads();  // arriving while grouped
  session().articlesPage().rows().regroupIfDue();
  showPage(1);
  ASSERT_EQ(tree(), (Lines{"Modem", "  Re: Modem", "  Re: Re: Modem", "Apple", "  Re: Apple"}));

  // One reply selected: it is shown; its check mark follows the tree's row.
  Article& subjectReply = article("Re: Re: Modem");
  select({&subjectReply});
  EXPECT_EQ(shownArticle(), &subjectReply);
  articles()->model()->setData(rowOf(subjectReply), Qt::Checked, Qt::CheckStateRole);
  EXPECT_TRUE(subjectReply.checked());

  // All articles, the replies of a collapsed thread included.
  articles()->collapse(rowOf(article("Apple")));
  action("mnuSelectAll")->trigger();
  EXPECT_EQ(session().articlesPage().selection().count, 5);
  action("mnuSelectReverse")->trigger();
  EXPECT_EQ(session().articlesPage().selection().count, 0);

  // Deleting a thread's start leaves its replies as threads of their own; the collapsed
  // thread stays collapsed.
  select({&article("Modem")});
  QTest::keyClick(articles(), Qt::Key_Delete);
  EXPECT_EQ(tree(), (Lines{"Re: Modem", "  Re: Re: Modem", "Apple", "  Re: Apple"}));
  EXPECT_FALSE(articles()->isExpanded(rowOf(article("Apple"))));
}

TEST_F(ThreadsTest, ShowThreadSendsARequestForTheSelectedArticlesThread) {
  Article& first = addArticle(42, "Re: Modem");
  Article& second = addArticle(43, "Re: Modem");
  showPage(1);
  select({&first});
  EXPECT_TRUE(action("mnuShowThread")->isEnabled());

  QTest::keyClick(articles(), Qt::Key_T, Qt::ControlModifier);
  ASSERT_EQ(collection().requests().size(), 1u);
  const Request& request = *collection().requests()[0];
  EXPECT_EQ(std::tuple(request.thread, request.displayName()),
            std::tuple(42u, std::string("Thread: Re: Modem")));
  EXPECT_NE(request.url.find("thread=42"), std::string::npos);

  // Asked again: the same request; another article of that subject: a name of its own.
  QTest::keyClick(articles(), Qt::Key_T, Qt::ControlModifier);
  EXPECT_EQ(collection().requests().size(), 1u);
  select({&second});
  QTest::keyClick(articles(), Qt::Key_T, Qt::ControlModifier);
  ASSERT_EQ(collection().requests().size(), 2u);
  EXPECT_EQ(collection().requests()[1]->displayName(), "Thread: Re: Modem (2)");
}

}  // namespace
}  // namespace varnook::testing
