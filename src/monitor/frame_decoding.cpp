// SPDX-License-Identifier: MIT
#include "monitor/frame_decoding.h"

#include "catalogue/number_text.h"
#include "channel/line_mode.h"
#include "channel/modbus_frame.h"
#include "channel/transducer_access.h"
#include "iec101/ft12_frame.h"

namespace {

uint16_t Word(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

// A little-endian field of one or two bytes.
uint16_t LittleField(std::span<const uint8_t> b, size_t at, uint8_t width) {
    return width == 1 ? b[at] : static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

// The fields of a Modbus frame's bytes (address to the last data byte, no checksum).
void ReadModbusBody(std::span<const uint8_t> body, bool request, FrameFields& f) {
    f.shape = FrameFields::Shape::kModbus;
    if (body.size() < 2) {
        return;
    }
    f.address = body[0];
    f.function = body[1];
    const uint8_t function = body[1];
    const size_t n = body.size();
    f.complete = true;
    if (function & 0x80) {
        f.complete = n >= 3;
        if (f.complete) {
            f.exception = body[2];
        }
        return;
    }
    switch (function) {
        case 3:
        case 4:
            if (request) {
                f.complete = n >= 6;
                if (f.complete) {
                    f.start = Word(body, 2);
                    f.count = Word(body, 4);
                }
            } else {
                f.complete = n >= 3 && n >= 3u + body[2];
                if (n >= 3) {
                    f.byteCount = body[2];
                }
            }
            break;
        case 6:
            f.complete = n >= 6;
            if (f.complete) {
                f.start = Word(body, 2);
            }
            break;
        case 16:
            f.complete = n >= 6;
            if (f.complete) {
                f.start = Word(body, 2);
                f.count = Word(body, 4);
            }
            if (request && n >= 7) {
                f.byteCount = body[6];
                f.complete = n >= 7u + body[6];
            }
            break;
        default:
            f.byteCount = static_cast<uint16_t>(n - 2);
            break;
    }
}

void ReadModbus(const TrafficFrame& frame, FrameFields& f) {
    const auto bytes = frame.bytes;
    if (frame.kind == FrameKind::kModbusRtu) {
        if (bytes.size() < 4) {
            ReadModbusBody(bytes, f.request, f);
            f.complete = false;
            return;
        }
        const auto body = bytes.first(bytes.size() - 2);
        const uint16_t crc = static_cast<uint16_t>(bytes[bytes.size() - 2] | bytes.back() << 8);
        f.checksumGood = ComputeCrc16(body) == crc;
        ReadModbusBody(body, f.request, f);
        return;
    }
    const std::optional<std::vector<uint8_t>> decoded = AsciiFrameBytes(bytes);
    if (!decoded || decoded->size() < 2) {
        f.shape = FrameFields::Shape::kBytes;
        return;
    }
    const auto all = std::span<const uint8_t>(*decoded);
    const auto body = all.first(all.size() - 1);
    f.checksumGood = ComputeLrc(body) == all.back();
    ReadModbusBody(body, f.request, f);
}

void ReadFt12(const TrafficFrame& frame, FrameFields& f) {
    const auto b = frame.bytes;
    const FrameWidths& w = frame.context.widths;
    const uint8_t linkBytes = w.linkAddress == 1 ? 1 : 2;
    auto readControl = [&f](uint8_t control) {
        f.prm = (control & 0x40) != 0;
        f.fcbOrAcd = (control & 0x20) != 0;
        f.fcvOrDfc = (control & 0x10) != 0;
        f.linkFunction = control & 0x0F;
    };
    if (b.size() == 1 && b[0] == kSingleAck) {
        f.shape = FrameFields::Shape::kFt12Single;
        f.checksumGood = true;
        f.complete = true;
        return;
    }
    if (!b.empty() && b[0] == kFixedStart) {
        f.shape = FrameFields::Shape::kFt12Fixed;
        const size_t length = 4u + linkBytes;
        f.complete = b.size() >= length;
        if (b.size() >= 2u + linkBytes) {
            readControl(b[1]);
            f.linkAddress = LittleField(b, 2, linkBytes);
        }
        f.checksumGood = f.complete && b.size() == length &&
                         FrameChecksum(b.subspan(1, 1u + linkBytes)) == b[2 + linkBytes] &&
                         b[3 + linkBytes] == kFrameEnd;
        return;
    }
    if (b.size() >= 4 && b[0] == kVariableStart) {
        f.shape = FrameFields::Shape::kFt12Variable;
        const size_t length = b[1];
        f.complete = b.size() >= length + 6;
        f.checksumGood =
            f.complete && b.size() == length + 6 && b[2] == b[1] && b[3] == kVariableStart &&
            FrameChecksum(b.subspan(4, length)) == b[4 + length] && b[5 + length] == kFrameEnd;
        if (b.size() < 5u + linkBytes) {
            return;
        }
        readControl(b[4]);
        f.linkAddress = LittleField(b, 5, linkBytes);
        // The ASDU: type, variable structure qualifier, cause (and originator), common address.
        const size_t asdu = 5u + linkBytes;
        const uint8_t causeBytes = w.cause == 1 ? 1 : 2;
        const uint8_t commonBytes = w.commonAddress == 1 ? 1 : 2;
        const size_t end = std::min(b.size(), 4 + length);
        if (asdu + 2 + causeBytes + commonBytes > end) {
            return;
        }
        f.asduType = b[asdu];
        f.objects = b[asdu + 1] & 0x7F;
        f.sequence = (b[asdu + 1] & 0x80) != 0;
        f.cause = b[asdu + 2] & 0x3F;
        f.negative = (b[asdu + 2] & 0x40) != 0;
        f.test = (b[asdu + 2] & 0x80) != 0;
        f.commonAddress = LittleField(b, asdu + 2 + causeBytes, commonBytes);
        return;
    }
    f.shape = FrameFields::Shape::kBytes;
}

std::string Number(uint64_t value) {
    return FormatInteger(static_cast<int64_t>(value));
}

std::string Hex2(uint32_t value) {
    return "0x" + FormatHexUpper(value, 2);
}

std::string DescribeModbus(const TrafficFrame& frame, const FrameFields& f) {
    const char* protocol = frame.kind == FrameKind::kModbusRtu ? "Modbus RTU" : "Modbus ASCII";
    const char* check = frame.kind == FrameKind::kModbusRtu ? "CRC" : "LRC";
    std::string text = protocol;
    text += f.request ? " запрос" : " ответ";
    if (!f.address) {
        return text + ", " + Number(frame.bytes.size()) + " байт, не кадр";
    }
    text += ": адрес " + Number(*f.address);
    const uint8_t function = *f.function;
    if (f.exception) {
        text += ", функция " + Number(function & 0x7F) + ", исключение " + Number(*f.exception) +
                " (" + ModbusExceptionName(*f.exception) + ")";
    } else {
        text += ", функция " + Number(function) + " (" + ModbusFunctionName(function) + ")";
        if (f.start) {
            text += ", регистр " + Number(*f.start);
        }
        if (f.count) {
            text += ", количество " + Number(*f.count);
        }
        if (f.byteCount) {
            text += ", байт данных " + Number(*f.byteCount);
        }
    }
    if (!f.complete) {
        text += ", неполный";
    }
    text += std::string(", ") + check + (f.checksumGood ? " верна" : " неверна");
    return text;
}

std::string DescribeFt12(const FrameFields& f) {
    std::string text = "FT1.2 ";
    switch (f.shape) {
        case FrameFields::Shape::kFt12Single:
            return "FT1.2 E5 (квитирование)";
        case FrameFields::Shape::kFt12Fixed:
            text += "фиксированный";
            break;
        default:
            text += "переменный";
            break;
    }
    if (!f.linkAddress) {
        return text + ", неполный";
    }
    text += f.prm ? ": PRM=1 FCB=" : ": PRM=0 ACD=";
    text += f.fcbOrAcd ? '1' : '0';
    text += f.prm ? " FCV=" : " DFC=";
    text += f.fcvOrDfc ? '1' : '0';
    text += ", функция " + Number(f.linkFunction) + " (" + Ft12FunctionName(f.prm, f.linkFunction) +
            "), адрес " + Number(*f.linkAddress);
    if (f.asduType) {
        text += ", ASDU тип " + Number(*f.asduType) + " (" + AsduTypeName(*f.asduType) +
                "), причина " + Number(*f.cause) + " (" + CauseName(*f.cause) + ")";
        if (f.negative) {
            text += " P/N";
        }
        if (f.test) {
            text += " T";
        }
        text += ", общий адрес " + Number(*f.commonAddress) + ", объектов " + Number(*f.objects);
    }
    if (!f.complete) {
        text += ", неполный";
    }
    text += f.checksumGood ? ", сумма верна" : ", сумма или рамка неверна";
    return text;
}

}  // namespace

std::optional<std::vector<uint8_t>> AsciiFrameBytes(std::span<const uint8_t> text) {
    if (text.size() < 3 || text[0] != ':') {
        return std::nullopt;
    }
    size_t end = text.size();
    while (end > 1 && (text[end - 1] == '\n' || text[end - 1] == '\r')) {
        --end;
    }
    auto isHex = [](uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
    if ((end - 1) % 2 != 0) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    for (size_t i = 1; i + 1 < end; i += 2) {
        if (!isHex(text[i]) || !isHex(text[i + 1])) {
            return std::nullopt;
        }
        bytes.push_back(HexPairToByte(text[i], text[i + 1]));
    }
    return bytes;
}

FrameFields ReadFrameFields(const TrafficFrame& frame) {
    FrameFields f;
    f.request = frame.direction == TrafficDirection::kSent;
    switch (frame.kind) {
        case FrameKind::kWakeUp:
            f.shape = FrameFields::Shape::kWakeUp;
            f.complete = true;
            f.checksumGood = true;
            break;
        case FrameKind::kModbusRtu:
        case FrameKind::kModbusAscii:
            ReadModbus(frame, f);
            break;
        case FrameKind::kFt12:
            ReadFt12(frame, f);
            break;
        case FrameKind::kDiscarded:
            break;
    }
    return f;
}

std::string DescribeFrame(const TrafficFrame& frame) {
    const FrameFields f = ReadFrameFields(frame);
    const std::string line = FormatModeString(frame.context.line);
    switch (f.shape) {
        case FrameFields::Shape::kWakeUp:
            if (f.request) {
                return "Пробуждение: " + Number(frame.bytes.size()) + " байт при " + line;
            }
            return "Приём при поиске: " + Number(frame.bytes.size()) + " байт при " + line;
        case FrameFields::Shape::kModbus:
            return DescribeModbus(frame, f);
        case FrameFields::Shape::kFt12Fixed:
        case FrameFields::Shape::kFt12Variable:
        case FrameFields::Shape::kFt12Single:
            return DescribeFt12(f);
        case FrameFields::Shape::kBytes:
            break;
    }
    if (frame.kind == FrameKind::kDiscarded) {
        return "Сброшено из приёма: " + Number(frame.bytes.size()) + " байт";
    }
    return std::string(frame.kind == FrameKind::kFt12 ? "FT1.2" : "Modbus ASCII") + ": " +
           Number(frame.bytes.size()) + " байт, не кадр";
}

bool IsFailedFrame(const TrafficFrame& frame) {
    if (frame.kind == FrameKind::kWakeUp) {
        return false;
    }
    if (frame.kind == FrameKind::kDiscarded) {
        return true;
    }
    const FrameFields f = ReadFrameFields(frame);
    if (f.shape == FrameFields::Shape::kBytes || !f.checksumGood || !f.complete || f.exception) {
        return true;
    }
    if (frame.direction == TrafficDirection::kReceived && frame.result != kNoFrameResult) {
        if (frame.kind == FrameKind::kFt12) {
            return !(frame.result == kReceiveOk || frame.result == kReceiveNoData ||
                     frame.result == kReceiveSingleAck);
        }
        return frame.result != kModbusValid;
    }
    return false;
}

std::string HexBytes(std::span<const uint8_t> bytes, size_t maxBytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    const size_t shown = std::min(bytes.size(), maxBytes);
    text.reserve(shown * 3 + 4);
    for (size_t i = 0; i < shown; ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    if (bytes.size() > shown) {
        text += " …";
    }
    return text;
}

std::string ModbusFunctionName(uint8_t function) {
    switch (function) {
        case 3:
            return "чтение регистров хранения";
        case kFunctionReadInputRegisters:
            return "чтение входных регистров";
        case 6:
            return "запись регистра";
        case kFunctionWriteRegisters:
            return "запись регистров";
        case kFunctionReadConfiguration:
            return "чтение конфигурации";
        case kFunctionEndConfiguration:
            return "конец конфигурации";
        case kFunctionRtcTest:
            return "проверка RTC";
        default:
            return "код " + Hex2(function);
    }
}

std::string ModbusExceptionName(uint8_t code) {
    switch (code) {
        case 1:
            return "недопустимая функция";
        case 2:
            return "недопустимый адрес данных";
        case 3:
            return "недопустимое значение данных";
        case 4:
            return "отказ устройства";
        case 5:
            return "подтверждение, выполняется";
        case 6:
            return "устройство занято";
        case 8:
            return "ошибка чётности памяти";
        case 10:
            return "шлюз: путь недоступен";
        case 11:
            return "шлюз: устройство не ответило";
        default:
            return "неизвестное исключение";
    }
}

std::string Ft12FunctionName(bool prm, uint8_t function) {
    if (prm) {
        switch (function) {
            case 0:
                return "сброс канала";
            case 1:
                return "сброс процесса";
            case 3:
                return "данные с подтверждением";
            case 4:
                return "данные без подтверждения";
            case 8:
                return "запрос доступа";
            case 9:
                return "запрос состояния канала";
            case 10:
                return "запрос данных класса 1";
            case 11:
                return "запрос данных класса 2";
            default:
                return "резерв";
        }
    }
    switch (function) {
        case 0:
            return "подтверждение";
        case 1:
            return "отказ";
        case 8:
            return "данные пользователя";
        case 9:
            return "нет данных";
        case 11:
            return "состояние канала";
        case 14:
            return "служба канала не работает";
        case 15:
            return "служба канала не реализована";
        default:
            return "резерв";
    }
}

std::string AsduTypeName(uint8_t type) {
    switch (type) {
        case 1:
            return "M_SP_NA_1";
        case 3:
            return "M_DP_NA_1";
        case 9:
            return "M_ME_NA_1";
        case 10:
            return "M_ME_TA_1";
        case 11:
            return "M_ME_NB_1";
        case 12:
            return "M_ME_TB_1";
        case 13:
            return "M_ME_NC_1";
        case 14:
            return "M_ME_TC_1";
        case 15:
            return "M_IT_NA_1";
        case 34:
            return "M_ME_TD_1";
        case 35:
            return "M_ME_TE_1";
        case 36:
            return "M_ME_TF_1";
        case 37:
            return "M_IT_TB_1";
        case 70:
            return "M_EI_NA_1";
        case 100:
            return "C_IC_NA_1";
        case 101:
            return "C_CI_NA_1";
        case 102:
            return "C_RD_NA_1";
        case 103:
            return "C_CS_NA_1";
        case 105:
            return "C_RP_NA_1";
        case 106:
            return "C_CD_NA_1";
        default:
            return type >= 128 ? "частный" : "другой";
    }
}

std::string CauseName(uint8_t cause) {
    switch (cause) {
        case 1:
            return "периодически";
        case 2:
            return "фоновое сканирование";
        case 3:
            return "спорадически";
        case 4:
            return "инициализация";
        case 5:
            return "запрос";
        case 6:
            return "активация";
        case 7:
            return "подтверждение активации";
        case 8:
            return "деактивация";
        case 9:
            return "подтверждение деактивации";
        case 10:
            return "завершение активации";
        case 20:
            return "общий опрос";
        case 44:
            return "неизвестный тип";
        case 45:
            return "неизвестная причина";
        case 46:
            return "неизвестный общий адрес";
        case 47:
            return "неизвестный адрес объекта";
        default:
            return cause > 20 && cause <= 36 ? "опрос группы " + Number(cause - 20u) : "другая";
    }
}

std::string ReceiveCodeName(uint8_t code) {
    switch (code) {
        case kReceiveOk:
            return "принято";
        case kReceiveBadStart:
            return "неверный старт или отказ";
        case kReceiveBadEnd:
            return "неверный конец";
        case kReceiveBadChecksum:
            return "неверная сумма";
        case kReceiveNothing:
            return "нет ответа";
        case kReceiveNoData:
            return "нет данных";
        case kReceiveRejected:
            return "отклонено";
        case kReceiveShort:
            return "короткий";
        case kReceiveSingleAck:
            return "E5";
        case kReceiveUnexpected:
            return "неожиданный";
        default:
            return code >= 44 && code <= 47 ? CauseName(code) : "код " + Number(code);
    }
}
