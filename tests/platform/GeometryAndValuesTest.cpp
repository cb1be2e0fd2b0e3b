#include "platform/Geometry.h"
#include "platform/Values.h"

#include <gtest/gtest.h>

#include <limits>

using namespace platform;

TEST(Geometry, RectanglesFollowCoreGraphicsWhereQtDiffers)
{
    // An intersection tells none from empty; negative sizes read as their standardised rectangles.
    EXPECT_FALSE(rectIntersection({0, 0, 10, 10}, {20, 0, 5, 5}));
    const auto touching = rectIntersection({0, 0, 10, 10}, {10, 0, 5, 5});
    ASSERT_TRUE(touching);
    EXPECT_TRUE(rectIsEmpty(*touching));
    EXPECT_EQ(*rectIntersection({0, 0, 10, 10}, {5, 5, 10, 10}), QRectF(5, 5, 5, 5));
    EXPECT_EQ(*rectIntersection({10, 10, -10, -10}, {5, 5, 10, 10}), QRectF(5, 5, 5, 5));
    // Containment includes the minimum edges only.
    for (const auto& [point, inside] : {std::pair{QPointF(0, 0), true},
                                        std::pair{QPointF(10, 5), false},
                                        std::pair{QPointF(5, 10), false},
                                        std::pair{QPointF(9.999, 9.999), true}}) {
        EXPECT_EQ(rectContainsPoint({0, 0, 10, 10}, point), inside) << point.x() << "," << point.y();
    }
    EXPECT_EQ(rectIntegral({0.5, 1.2, 10.2, 3.7}), QRectF(0, 1, 11, 4));
    EXPECT_EQ(rectUnion({0, 0, 10, 10}, {20, 5, 5, 10}), QRectF(0, 0, 25, 15));
    EXPECT_EQ(rectFromDictionary(dictionaryFromRect({1, 2, 3, 4})), QRectF(1, 2, 3, 4));
    QVariantMap broken = dictionaryFromRect({1, 2, 3, 4});
    for (const QVariant& width :
         {QVariant(QStringLiteral("3")), QVariant(std::numeric_limits<double>::infinity())}) {
        broken.insert(QStringLiteral("Width"), width);
        EXPECT_FALSE(rectFromDictionary(broken));
    }
}

TEST(Values, NumbersOutOfRangeAndMixedArraysAreRefusedNotConverted)
{
    EXPECT_EQ(uint32Value(QVariant(qint64(4294967295))), 4294967295U);
    EXPECT_FALSE(uint32Value(QVariant(qint64(4294967296))));
    EXPECT_FALSE(uint32Value(QVariant(qint64(-1))));
    EXPECT_FALSE(uint32Value(QVariant(12.0)));
    EXPECT_FALSE(uint32Value(QVariant(true)));
    EXPECT_EQ(int32Value(QVariant(qint64(-2147483648LL))), std::numeric_limits<qint32>::min());
    EXPECT_FALSE(int32Value(QVariant(qint64(2147483648LL))));
    EXPECT_FALSE(exactUInt32(1.5));
    EXPECT_FALSE(exactUInt32(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(exactUInt32(1e300));
    EXPECT_FALSE(exactInt64(9.3e18));
    EXPECT_EQ(exactInt64(-3.0), -3);
    EXPECT_FALSE(finiteNumber(QVariant(std::numeric_limits<double>::infinity())));
    // An array's strings, whatever else it holds; nothing from what is not an array.
    EXPECT_EQ(stringElements(QVariantList{QStringLiteral("a"), qint64(1), QStringLiteral("b")}),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_FALSE(stringElements(QStringLiteral("a")));
}

TEST(Values, DecimalKeysParseStrictly)
{
    for (const auto& [text, value] :
         {std::pair{"7", 7U}, {"+7", 7U}, {"0012", 12U}, {"4294967295", 4294967295U}}) {
        EXPECT_EQ(parseUInt32Decimal(QString::fromUtf8(text)), value) << text;
    }
    for (const char* refused : {"4294967296", "-1", " 7", "7 ", "", "+", "0x10", "٣", "1e3", "++7"}) {
        EXPECT_FALSE(parseUInt32Decimal(QString::fromUtf8(refused))) << refused;
    }
}
